#include "DeviceOptions.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace hqcli {

void AddDeviceOptions(CLI::App& app, DeviceOptions& options, bool withDeviceFile)
{
    app.add_option("address", options.address, "camera address: HOST or HOST:PORT of its ONVIF service")->required();
    app.add_option("--ptz-port", options.ptzPort, "port of the camera's PTZ CGI (default 8080)")
        ->check(CLI::Range(1, 65535));
    app.add_option("--user", options.user, "user name (default admin)");
    auto* password = app.add_option("--password", options.password,
                                    "password (visible to other users; prefer --password-file or "
                                    "HARNOQUISTEL_PASSWORD)");
    auto* file = app.add_option("--password-file", options.passwordFile, "file whose first line is the password")
                     ->check(CLI::ExistingFile);
    password->excludes(file);
    if (withDeviceFile)
        app.add_option("--device", options.deviceFile, "device file written by `harnoquistel query --save`")
            ->check(CLI::ExistingFile);
    app.add_flag("--ntsc", options.ntsc, "the camera runs a 30-frame video standard (default 25-frame)");
}

bool ResolvePassword(const DeviceOptions& options, std::string& password, bool& found, std::string* error)
{
    found = true;
    if (!options.password.empty()) {
        password = options.password;
        return true;
    }
    if (!options.passwordFile.empty()) {
        std::ifstream file(options.passwordFile, std::ios::binary);
        if (!file) {
            *error = "cannot read " + options.passwordFile + ": " + std::strerror(errno);
            return false;
        }
        std::getline(file, password);
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        return true;
    }
    if (const char* value = std::getenv("HARNOQUISTEL_PASSWORD"); value != nullptr) {
        password = value;
        return true;
    }
    found = false;
    password.clear();
    return true;
}

bool ParseSize(const std::string& text, uint16_t& width, uint16_t& height)
{
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    unsigned long values[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        if (parts[i].size() > 5 || parts[i].find_first_not_of("0123456789") != std::string::npos)
            return false;
        values[i] = std::stoul(parts[i]);
        if (values[i] == 0 || values[i] > 65535)
            return false;
    }
    width = static_cast<uint16_t>(values[0]);
    height = static_cast<uint16_t>(values[1]);
    return true;
}

}  // namespace hqcli
