#pragma once
// The device context that channels, PTZ objects and parsers receive.

#include <cstdint>
#include <string>
#include <utility>

#include <velkora/hostframes.h>

#include "foundation/DEVICE_INFO.h"
#include "foundation/IDebugMessage.h"

namespace velkora {

// Device parameter indices, as the capability query writes them.
enum DeviceParameter : uint32_t
{
    ParamVideoStandard = 1,
    ParamFirmwareVersion = 2,
    ParamPtzCapabilities = 3,
    ParamOnvifDeviceServiceUri = 4,
    ParamOnvifMediaServiceUri = 5,
    ParamOnvifPtzServiceUri = 6,
    ParamCustomOnvifNamespaces = 7,
    ParamOnvifAuthentication = 8,
    ParamVideoSourceConfiguration = 9,
    ParamRtspPort = 10,
};

// GetParameterInt's answer for a missing or non-integer parameter.
constexpr int32_t ParameterNotInteger = INT32_MIN;

class IDriver : public IDebugMessage
{
public:
    // slots 1, 2: GetName and DebugMessage of IDebugMessage
    virtual std::string GetModuleName() = 0;                       // slot 3
    virtual std::string GetHostDirectory() = 0;                    // slot 4
    virtual const DEVICE_INFO& GetDeviceInfo() = 0;                // slot 5
    virtual std::pair<uint32_t, uint32_t> GetChannelValues() = 0;  // slot 6
    // The host's frame factory; null when frames cannot be made.
    virtual ipcapture::IHostFrameFactory* GetHostContext() = 0;  // slot 7
    virtual int32_t GetVideoStandard() = 0;                      // slot 8
    virtual uint32_t GetCodecType() = 0;                         // slot 9
    virtual uint32_t GetChannelCount() = 0;                      // slot 10
    // Empty when absent or "(none)".
    virtual std::string GetParameterString(uint32_t index) = 0;  // slot 11
    // Optional sign then decimal digits; ParameterNotInteger otherwise.
    virtual int32_t GetParameterInt(uint32_t index) = 0;  // slot 12
    virtual uint16_t GetPTZPort() = 0;                    // slot 13
};

}  // namespace velkora
