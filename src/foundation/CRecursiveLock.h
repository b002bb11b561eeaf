#pragma once
// Recursive lock guarding shared state across the library. TryLock never
// waits: it fails while another thread holds the lock.

#include <mutex>

namespace velkora {

class CRecursiveLock
{
public:
    CRecursiveLock() = default;
    CRecursiveLock(const CRecursiveLock&) = delete;
    CRecursiveLock& operator=(const CRecursiveLock&) = delete;

    void Lock();
    bool TryLock();
    void Unlock();

    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    bool try_lock() { return TryLock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex mutex_;
};

using CAutoLock = std::lock_guard<CRecursiveLock>;

}  // namespace velkora
