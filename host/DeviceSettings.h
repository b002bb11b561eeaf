#pragma once
// Device configuration of the reference host, served from a plain record
// through the interfaces the driver's Open reads.

#include <cstdint>
#include <string>
#include <vector>

#include <velkora/hostsettings.h>

namespace host {

struct DeviceRecord {
    std::string address;  // "host" or "host:port"
    uint16_t port = 80;   // the host's port setting (used as the PTZ port)
    std::string user;
    std::string password;
    std::string model;
    uint32_t channelCount = 1;
    uint32_t codecType = 3;  // H.264
    uint32_t valueA = 0;
    uint32_t valueB = 0;
    std::vector<std::string> parameters;  // parameter 1 first
};

class DeviceSettings : public velkora::ipcapture::IHostDeviceSettings,
                       private velkora::ipcapture::IHostChannelSettings,
                       private velkora::ipcapture::IHostConnectionSettings
{
public:
    explicit DeviceSettings(DeviceRecord record) : record_(std::move(record)) {}

    DeviceRecord& Record() { return record_; }

    velkora::ipcapture::IHostChannelSettings* GetChannelSettings() override { return this; }
    velkora::ipcapture::IHostConnectionSettings* GetConnectionSettings() override { return this; }
    const char* GetParameter(uint32_t index) override;

private:
    const char* GetModel() override { return record_.model.c_str(); }
    uint32_t GetChannelCount() override { return record_.channelCount; }
    uint32_t GetValueA() override { return record_.valueA; }
    uint32_t GetValueB() override { return record_.valueB; }
    const char* GetAddress() override { return record_.address.c_str(); }
    uint16_t GetPort() override { return record_.port; }
    uint32_t GetCodecType() override { return record_.codecType; }
    const char* GetUser() override { return record_.user.c_str(); }
    const char* GetPassword() override { return record_.password.c_str(); }

    DeviceRecord record_;
};

}  // namespace host
