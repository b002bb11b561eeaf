#pragma once
// Message sinks for tests: keep what is sent as "level text" lines and optionally react to it.

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/IDebugMessage.h"

class MessageLog
{
public:
    void Add(int32_t level, const char* format, va_list args)
    {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        std::function<void(int32_t)> react;
        {
            std::lock_guard lock(mutex_);
            texts_.push_back(std::to_string(level) + " " + text);
            react = onMessage;
        }
        added_.notify_all();
        if (react)
            react(level);
    }
    // Waits (bounded) until there are `count`, for texts that other threads send.
    std::vector<std::string> Texts(std::size_t count = 0)
    {
        std::unique_lock lock(mutex_);
        added_.wait_for(lock, std::chrono::seconds(10), [&] { return texts_.size() >= count; });
        return texts_;
    }

    std::function<void(int32_t level)> onMessage;

private:
    std::mutex mutex_;
    std::condition_variable added_;
    std::vector<std::string> texts_;
};

class RecordingOwner : public velkora::IDebugMessage, public MessageLog
{
public:
    std::string GetName() override { return "10.0.0.5:80"; }
    void DebugMessage(int32_t level, const char* format, ...) override
    {
        va_list args;
        va_start(args, format);
        Add(level, format, args);
        va_end(args);
    }
};
