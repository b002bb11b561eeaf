#include "QuerySink.h"

namespace host {

void QuerySink::OnQueryCompleted()
{
    {
        std::lock_guard lock(mutex_);
        ++outcome_.completed;
    }
    changed_.notify_all();
}

void QuerySink::OnQueryFailed(uint32_t kind, const char* text)
{
    {
        std::lock_guard lock(mutex_);
        ++outcome_.failed;
        outcome_.failureKind = kind;
        outcome_.failureText = text ? text : "";
    }
    changed_.notify_all();
}

void QuerySink::OnQueryKilled()
{
    {
        std::lock_guard lock(mutex_);
        ++outcome_.killed;
    }
    changed_.notify_all();
}

QueryOutcome QuerySink::Outcome() const
{
    std::lock_guard lock(mutex_);
    return outcome_;
}

bool QuerySink::WaitForEnd(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return outcome_.completed + outcome_.failed + outcome_.killed > 0; });
}

}  // namespace host
