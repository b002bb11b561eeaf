#include "foundation/CRecursiveLock.h"

#include <thread>

namespace velkora {

namespace {

// Spinning only pays when another processor can release the lock meanwhile.
unsigned SpinCount()
{
    static const unsigned count = std::thread::hardware_concurrency() > 1 ? 4000 : 0;
    return count;
}

} // namespace

bool CRecursiveLock::TryLock()
{
    const unsigned attempts = SpinCount() + 1;
    for (unsigned i = 0; i < attempts; ++i) {
        if (mutex_.try_lock())
            return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    return false;
}

void CRecursiveLock::Lock()
{
    if (!TryLock())
        mutex_.lock();
}

void CRecursiveLock::Unlock()
{
    mutex_.unlock();
}

} // namespace velkora
