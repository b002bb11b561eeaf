#pragma once
// Options every device command shares: where the camera is and how to log in.

#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

namespace hqcli {

constexpr int ExitFailure = 1;  // the device or the query failed; the reason is on stderr
constexpr int ExitUsage = 2;    // the command line was wrong

struct DeviceOptions {
    std::string address;   // host[:port] of the ONVIF service
    uint16_t ptzPort = 0;  // 0: the device file's, else 8080
    std::string user;
    std::string password;
    std::string passwordFile;
    std::string deviceFile;  // --device
    bool ntsc = false;
};

// ADDRESS, --ptz-port, --user, --password, --password-file; --device when asked.
void AddDeviceOptions(CLI::App& app, DeviceOptions& options, bool withDeviceFile);

// The password from --password, --password-file or $HARNOQUISTEL_PASSWORD,
// in that order; `found` tells whether any of them gave one. False with
// `error` when the file cannot be read.
bool ResolvePassword(const DeviceOptions& options, std::string& password, bool& found, std::string* error);

// "WxH" into its numbers; false for anything else.
bool ParseSize(const std::string& text, uint16_t& width, uint16_t& height);

}  // namespace hqcli
