#pragma once
// --transport of the commands that record: how the library carries a stream's RTP.

#include <string>

#include <CLI/CLI.hpp>

namespace hqcli {

// --transport udp|tcp|auto into `choice` (empty: leave the environment as it is).
void AddTransportOption(CLI::App& app, std::string& choice);

// Hands the choice to the library, which reads HARNOQUISTEL_RTSP_TRANSPORT when a
// device is opened; call before opening one.
void ApplyTransport(const std::string& choice);

}  // namespace hqcli
