#pragma once
// An IDebugMessage that keeps what it is sent and can react to a message.

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/IDebugMessage.h"

struct LoggedMessage
{
    int32_t level;
    std::string text;
};

class RecordingOwner : public velkora::IDebugMessage
{
public:
    std::string GetName() override { return "10.0.0.5:80"; }

    void DebugMessage(int32_t level, const char* format, ...) override
    {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        std::function<void(int32_t)> react;
        {
            std::lock_guard lock(mutex_);
            messages_.push_back({level, text});
            react = onMessage;
        }
        if (react)
            react(level);
    }

    std::vector<LoggedMessage> Messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    std::function<void(int32_t level)> onMessage;

private:
    std::mutex mutex_;
    std::vector<LoggedMessage> messages_;
};
