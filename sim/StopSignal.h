#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace sim {

// Lets every thread of the simulator sleep (injected delays, pacing) and still
// wake at once when the simulator stops.
class StopSignal
{
public:
    void Raise()
    {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        cv_.notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(mutex_);
        raised_ = false;
    }
    bool Raised() const
    {
        std::lock_guard lock(mutex_);
        return raised_;
    }
    // True when the time passed, false when stopped first.
    template <class Clock, class Duration> bool SleepUntil(const std::chrono::time_point<Clock, Duration>& when) const
    {
        std::unique_lock lock(mutex_);
        return !cv_.wait_until(lock, when, [&] { return raised_; });
    }
    bool SleepFor(std::chrono::milliseconds d) const { return SleepUntil(std::chrono::steady_clock::now() + d); }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool raised_ = false;
};

}  // namespace sim
