#pragma once

#include <cstdint>

#include "driver/CIPCaptureDriver.h"

namespace velkora {

// The device family's driver: opening, module name, channel factory and the
// port of the PTZ CGI.
class CVerintIPCaptureDriver : public CIPCaptureDriver
{
public:
    CVerintIPCaptureDriver() = default;
    ~CVerintIPCaptureDriver() override;

    bool OpenDevice(ipcapture::IHostDeviceSettings* settings) override;
    std::string GetModuleName() override { return "Harnoquistel"; }
    uint16_t GetPTZPort() override { return ptzPort; }
    ICameraChannel* CreateVideoChannel(uint32_t channel, ipcapture::IHostChannelSink* sink, uint32_t codec) override;

protected:
    uint16_t ptzPort = 8080;
};

}  // namespace velkora
