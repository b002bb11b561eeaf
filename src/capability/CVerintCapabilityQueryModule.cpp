#include "capability/CVerintCapabilityQueryModule.h"

#include <new>
#include <string_view>

#include "capability/CVerintCameraProperties.h"
#include "foundation/AddressText.h"

namespace velkora {

void CVerintCapabilityQueryModule::SetAddress(const char* address, uint16_t port)
{
    const std::string_view text = address;
    if (text.empty())
        return;
    ptzPort = port;
    std::string host;
    uint16_t devicePort = 80;
    if (!SplitHostPort(std::string(text), 80, host, devicePort)) {
        deviceInfo.host = std::string(text);
        deviceInfo.port = 80;
        return;
    }
    deviceInfo.host = host;
    deviceInfo.port = devicePort;
    if (ptzPort == 0 || ptzPort == deviceInfo.port)
        ptzPort = 8080;
}

CBaseCameraProperties* CVerintCapabilityQueryModule::CreateProperties()
{
    return new (std::nothrow) CVerintCameraProperties(deviceInfo, videoStandard, ptzPort);
}

}  // namespace velkora
