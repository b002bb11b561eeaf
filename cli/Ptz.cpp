#include "Ptz.h"

namespace hqcli {

namespace {

// Direction codes of StartMove: 0-7 pan and tilt, 8 and 9 zoom.
struct Move {
    const char* name;
    uint32_t direction;
};
constexpr Move Moves[] = {{"left", 0},     {"right", 1},     {"up", 2},         {"down", 3},    {"up-left", 4},
                          {"up-right", 5}, {"down-left", 6}, {"down-right", 7}, {"zoom-in", 8}, {"zoom-out", 9}};

}  // namespace

const std::vector<std::string>& PtzActions()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const Move& move : Moves)
            all.push_back(move.name);
        all.push_back("stop");
        return all;
    }();
    return names;
}

int32_t StartPtzAction(velkora::IIPPTZApi& api, const std::string& action, int32_t speed)
{
    if (action == "stop") {
        // A fresh driver takes the head for still and its Stop would send
        // nothing; the slowest diagonal move and zoom, stopped at once, make
        // it send pan, tilt and zoom 0.
        api.StartMove(4, 1);
        api.StartZoomA(1);
        return api.Stop();
    }
    for (const Move& move : Moves)
        if (action == move.name)
            return api.StartMove(move.direction, speed);
    return velkora::PtzInvalidArgument;
}

std::string PtzResultText(int32_t result)
{
    switch (result) {
    case velkora::PtzDone: return "done";
    case velkora::PtzNotOffered: return "not offered";
    case velkora::PtzInvalidArgument: return "invalid argument";
    case velkora::PtzFailure: return "the PTZ worker refused the request";
    case velkora::PtzCapabilityMissing: return "the camera lacks this capability (device parameter 3)";
    default: return "result " + std::to_string(result);
    }
}

}  // namespace hqcli
