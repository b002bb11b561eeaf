#pragma once
// A device context for PTZ tests: fixed parameters and a log ("level text")
// that tests can wait on while workers write to it.

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "foundation/IDriver.h"

namespace velkora::testing {

class FakeDriver : public IDriver
{
public:
    void DebugMessage(int32_t level, const char* format, ...) override
    {
        char buffer[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof(buffer), format, args);
        va_end(args);
        std::lock_guard<std::mutex> guard(lock);
        messages.push_back(std::to_string(level) + " " + buffer);
        logged.notify_all();
    }
    std::vector<std::string> WaitForMessages(size_t count = 0)
    {
        std::unique_lock<std::mutex> guard(lock);
        logged.wait_for(guard, std::chrono::seconds(10), [&] { return messages.size() >= count; });
        return messages;
    }

    std::string GetName() override { return device.host + ":" + std::to_string(device.port); }
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/tmp/"; }
    const DEVICE_INFO& GetDeviceInfo() override { return device; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    ipcapture::IHostFrameFactory* GetHostContext() override { return nullptr; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t index) override { return parameters[index]; }
    int32_t GetParameterInt(uint32_t) override { return ParameterNotInteger; }
    uint16_t GetPTZPort() override { return ptzPort; }

    DEVICE_INFO device{"127.0.0.1", 80, "admin", "secret"};
    uint16_t ptzPort = 8080;
    std::map<uint32_t, std::string> parameters;

private:
    std::mutex lock;
    std::condition_variable logged;
    std::vector<std::string> messages;
};

}  // namespace velkora::testing
