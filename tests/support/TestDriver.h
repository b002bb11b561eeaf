#pragma once
// A device context for the components under test: fixed parameters, and what they log.

#include <cstdarg>
#include <map>

#include "foundation/IDriver.h"
#include "unit/foundation/RecordingOwner.h"

class TestDriver : public velkora::IDriver, public MessageLog
{
public:
    std::string GetName() override { return info.host + ":" + std::to_string(info.port); }
    void DebugMessage(int32_t level, const char* format, ...) override
    {
        va_list args;
        va_start(args, format);
        Add(level, format, args);
        va_end(args);
    }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info; }
    uint32_t GetChannelCount() override { return channelCount; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return factory; }
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {}; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    std::string GetParameterString(uint32_t index) override { return parameters[index]; }
    int32_t GetParameterInt(uint32_t) override { return velkora::ParameterNotInteger; }
    uint16_t GetPTZPort() override { return ptzPort; }

    velkora::DEVICE_INFO info{"10.0.0.5", 80, "", ""};
    velkora::ipcapture::IHostFrameFactory* factory = nullptr;
    uint32_t channelCount = 1;
    uint16_t ptzPort = 8080;
    std::map<uint32_t, std::string> parameters;
};
