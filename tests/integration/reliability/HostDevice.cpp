#include "HostDevice.h"

#include "host/StreamSettings.h"
#include "sim/Simulator.h"

namespace reliability {

HostDevice::HostDevice(Ports ports, std::string configuration)
{
    host::DeviceRecord record;
    record.address = "127.0.0.1:" + std::to_string(ports.http);
    record.port = ports.ptz;
    record.user = "admin";
    record.password = "admin";
    record.model = "SIM-1";
    record.parameters = sim::DeviceParameters(ports.rtsp, std::move(configuration));
    settings = std::make_unique<host::DeviceSettings>(record);
    driver = CreateIPCapture();
    if (!driver || !driver->Open(&debug, &frames, settings.get()))
        return;
    capture = static_cast<velkora::ipcapture::IIPCaptureDriverEx5*>(driver)->GetVideoCaptureEx5();
}

HostDevice::~HostDevice()
{
    DeleteIPCapture(driver);
}

bool HostDevice::OpenStream(uint32_t channel, uint32_t kind, host::ChannelSink& sink)
{
    host::StreamSettings streamSettings(host::StreamRecord{});
    return capture && capture->OpenStream(channel, kind, &sink, &streamSettings);
}

}  // namespace reliability
