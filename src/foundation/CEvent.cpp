#include "foundation/CEvent.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace velkora {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(uint32_t timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

// A WaitForAnyEvent in progress; every event it waits on wakes it.
struct EventWaiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool woken = false;
};

struct EventState {
    std::mutex mutex;
    std::condition_variable wake;
    bool manualReset = false;
    // Written under mutex; atomic so that IsSet, which receive loops call per packet,
    // reads it without taking the mutex the other threads of the stream contend for.
    std::atomic<bool> signalled{false};
    std::vector<EventWaiter*> waiters;

    // Consumes an auto-reset signal. Caller holds mutex.
    bool TakeSignal()
    {
        if (!signalled.load(std::memory_order_relaxed))
            return false;
        if (!manualReset)
            signalled.store(false, std::memory_order_relaxed);
        return true;
    }
};

CEvent::CEvent() = default;
CEvent::~CEvent() = default;

bool CEvent::Create(bool manualReset, bool initiallySet)
{
    state_ = std::make_unique<EventState>();
    state_->manualReset = manualReset;
    state_->signalled.store(initiallySet);
    return true;
}

void CEvent::Close()
{
    state_.reset();
}

bool CEvent::Wait(uint32_t timeoutMs)
{
    if (!state_)
        return false;
    std::unique_lock lock(state_->mutex);
    if (timeoutMs == WaitInfinite)
        state_->wake.wait(lock, [this] { return state_->signalled.load(std::memory_order_relaxed); });
    else if (!state_->wake.wait_until(lock, DeadlineAfter(timeoutMs),
                                      [this] { return state_->signalled.load(std::memory_order_relaxed); }))
        return false;
    return state_->TakeSignal();
}

bool CEvent::Set()
{
    if (!state_)
        return false;
    // A manual-reset event that is already signalled has no one left to wake; receive
    // paths set their activity events per packet, so this skips the mutex and the wake-up.
    if (state_->manualReset && state_->signalled.load(std::memory_order_acquire))
        return true;
    std::lock_guard lock(state_->mutex);
    state_->signalled.store(true, std::memory_order_release);
    if (state_->manualReset)
        state_->wake.notify_all();
    else
        state_->wake.notify_one();
    for (EventWaiter* waiter : state_->waiters) {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->woken = true;
        waiter->wake.notify_one();
    }
    return true;
}

bool CEvent::Reset()
{
    if (!state_)
        return false;
    std::lock_guard lock(state_->mutex);
    state_->signalled.store(false, std::memory_order_release);
    return true;
}

bool CEvent::IsSet() const
{
    if (!state_)
        return false;
    return state_->signalled.load(std::memory_order_acquire);
}

int WaitForAnyEvent(CEvent* const* events, uint32_t count, uint32_t timeoutMs)
{
    if (count == 0 || events == nullptr)
        return -1;
    for (uint32_t i = 0; i < count; ++i)
        if (events[i] == nullptr || !events[i]->state_)
            return -1;

    EventWaiter waiter;
    for (uint32_t i = 0; i < count; ++i) {
        std::lock_guard lock(events[i]->state_->mutex);
        events[i]->state_->waiters.push_back(&waiter);
    }
    const bool infinite = timeoutMs == WaitInfinite;
    const auto deadline = infinite ? Clock::time_point::max() : DeadlineAfter(timeoutMs);
    int found = -1;
    for (;;) {
        // Clear before checking: a Set after the check then wakes the wait below.
        {
            std::lock_guard lock(waiter.mutex);
            waiter.woken = false;
        }
        for (uint32_t i = 0; i < count && found < 0; ++i) {
            std::lock_guard lock(events[i]->state_->mutex);
            if (events[i]->state_->TakeSignal())
                found = static_cast<int>(i);
        }
        if (found >= 0)
            break;
        std::unique_lock lock(waiter.mutex);
        if (infinite)
            waiter.wake.wait(lock, [&] { return waiter.woken; });
        else if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.woken; }))
            break;
    }
    for (uint32_t i = 0; i < count; ++i) {
        EventState& state = *events[i]->state_;
        std::lock_guard lock(state.mutex);
        state.waiters.erase(std::remove(state.waiters.begin(), state.waiters.end(), &waiter), state.waiters.end());
    }
    return found;
}

int WaitForAnyEvent(std::initializer_list<CEvent*> events, uint32_t timeoutMs)
{
    return WaitForAnyEvent(events.begin(), static_cast<uint32_t>(events.size()), timeoutMs);
}

}  // namespace velkora
