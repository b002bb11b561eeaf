#include "driver/CVerintIPCaptureDriver.h"

#include <new>

#include "channels/CH264ChannelRTSP.h"
#include "foundation/AddressText.h"
#include "ptz/CVerintPTZHandler.h"

namespace velkora {

CVerintIPCaptureDriver::~CVerintIPCaptureDriver()
{
    // The device objects use this driver as their context: release them
    // while it is still whole.
    CloseDevice();
    ReleaseDeviceObjects();
}

bool CVerintIPCaptureDriver::OpenDevice(ipcapture::IHostDeviceSettings* settings)
{
    const int32_t standard = GetParameterInt(ParamVideoStandard);
    if (standard == ParameterNotInteger)
        return false;
    videoStandard = standard;
    deviceInfo.requestTimeout = 7500;
    deviceInfo.streamTimeout = 10000;

    std::string host;
    uint16_t port = 0;
    if (!SplitHostPort(deviceInfo.host, 80, host, port))
        return false;
    deviceInfo.host = host;
    deviceInfo.port = port;

    ptzPort = settings->GetConnectionSettings()->GetPort();
    if (ptzPort == deviceInfo.port)
        ptzPort = 8080;

    if (!ptzHandler) {
        ptzHandler.reset(new (std::nothrow) CVerintPTZHandler(this, channelCount));
        if (!ptzHandler)
            return false;
    }
    LogOpened(GetParameterString(ParamFirmwareVersion));
    return true;
}

ICameraChannel* CVerintIPCaptureDriver::CreateVideoChannel(uint32_t channel, ipcapture::IHostChannelSink* sink,
                                                           uint32_t codec)
{
    if (!sink)
        return nullptr;
    const uint32_t effective = codec == 0 || codec == 16 ? codecType : codec;
    if (effective != CodecH264)
        return nullptr;
    return new (std::nothrow) CH264ChannelRTSP(channel, this, sink);
}

}  // namespace velkora
