#pragma once
// The reference host's device, pointed at any ONVIF/RTSP/PTZ ports (real or hostile).

#include <cstdint>
#include <memory>
#include <string>

#include <velkora/ipcapture.h>

#include "host/DebugOutput.h"
#include "host/DeviceSettings.h"
#include "host/Frames.h"

namespace reliability {

struct Ports {
    uint16_t http = 0, rtsp = 0, ptz = 0;
};

struct HostDevice {
    HostDevice(Ports ports, std::string configuration);
    ~HostDevice();

    bool OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink);
    bool CloseStream(uint32_t channel, uint32_t kind) { return capture && capture->CloseStream(channel, kind); }

    host::DebugOutput debug;
    host::FrameFactory frames;
    std::unique_ptr<host::DeviceSettings> settings;
    velkora::ipcapture::IIPCaptureDriver* driver = nullptr;
    velkora::ipcapture::IIPVideoCaptureEx2* capture = nullptr;
};

}  // namespace reliability
