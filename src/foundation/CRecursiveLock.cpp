#include "foundation/CRecursiveLock.h"

namespace velkora {

bool CRecursiveLock::TryLock()
{
    return mutex_.try_lock();
}

void CRecursiveLock::Lock()
{
    mutex_.lock();
}

void CRecursiveLock::Unlock()
{
    mutex_.unlock();
}

}  // namespace velkora
