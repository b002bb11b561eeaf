#pragma once
// The head moves `harnoquistel ptz` and the demo ask for, on the host's PTZ
// interface.

#include <cstdint>
#include <string>
#include <vector>

#include <velkora/ptz.h>

namespace hqcli {

// left right up down up-left up-right down-left down-right zoom-in zoom-out stop
const std::vector<std::string>& PtzActions();

// Starts the action (speed 1..16); "stop" stops pan, tilt and zoom. Returns
// the interface's result code (1 done).
int32_t StartPtzAction(velkora::IIPPTZApi& api, const std::string& action, int32_t speed);

// "queued", "not offered by the camera", ...
std::string PtzResultText(int32_t result);

}  // namespace hqcli
