#pragma once
// A query sink that records every call and lets a test await the report.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include <velkora/capabilityquery.h>

namespace velkora::test {

class RecordingSink : public ipcapture::IHostQuerySink
{
public:
    void OnQueryCompleted() override { Record(completed); }
    void OnQueryFailed(uint32_t failureKind, const char* failureText) override
    {
        std::lock_guard<std::mutex> guard(lock);
        kind = failureKind;
        text = failureText != nullptr ? failureText : "";
        ++failed;
        changed.notify_all();
    }
    void OnQueryKilled() override { Record(killed); }

    // Waits (bounded) for any report; false when none came.
    bool WaitReport()
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(30), [this] { return Reports() > 0; });
    }
    int Reports() const { return completed + failed + killed; }

    std::mutex lock;
    std::condition_variable changed;
    int completed = 0;
    int failed = 0;
    int killed = 0;
    uint32_t kind = 99;
    std::string text;

private:
    void Record(int& counter)
    {
        std::lock_guard<std::mutex> guard(lock);
        ++counter;
        changed.notify_all();
    }
};

} // namespace velkora::test
