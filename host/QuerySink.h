#pragma once
// Capability-query sink of the reference host: records the outcome.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include <velkora/capabilityquery.h>

namespace host {

struct QueryOutcome {
    int completed = 0;
    int failed = 0;
    int killed = 0;
    uint32_t failureKind = 0;
    std::string failureText;
};

class QuerySink : public velkora::ipcapture::IHostQuerySink
{
public:
    void OnQueryCompleted() override;
    void OnQueryFailed(uint32_t kind, const char* text) override;
    void OnQueryKilled() override;

    QueryOutcome Outcome() const;
    // Waits until the query completed, failed or was killed.
    bool WaitForEnd(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QueryOutcome outcome_;
};

}  // namespace host
