#pragma once
// A native thread that can be waited on with a time-out. Linux offers no
// safe forced termination, so the owner waits for the body to return.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "foundation/CEvent.h"

namespace velkora {

class NativeThread
{
public:
    NativeThread() = default;
    // Joins a remaining thread; a thread destroying its own handle is detached.
    ~NativeThread();
    NativeThread(const NativeThread&) = delete;
    NativeThread& operator=(const NativeThread&) = delete;

    // False when a thread exists (running or not yet joined) or cannot start.
    bool Start(std::function<void()> body, const std::string& name);
    bool Exists() const { return exists_.load(); }
    bool IsCurrent() const;
    bool HasEnded() const { return ended_.IsSet(); }
    // True when the body returned within the time-out.
    bool WaitEnded(uint32_t timeoutMs) { return ended_.Wait(timeoutMs); }
    // Waits without limit and releases the handle.
    void Join();
    uint32_t Id() const { return id_.load(std::memory_order_relaxed); }

private:
    std::thread thread_;
    CManualEvent ended_;
    std::atomic<uint32_t> id_{0};
    // Set before the thread starts, so that the thread itself sees it too.
    std::atomic<bool> exists_{false};
    // Written by the thread itself, so a self-check never races the start.
    std::atomic<std::thread::id> self_{};
};

}  // namespace velkora
