#include "foundation/CTime.h"

#include "foundation/MonotonicClock.h"

namespace velkora {

uint64_t CTime::Now()
{
    return MonotonicNs() / 100;
}

void CTime::Update()
{
    const uint64_t now = Now();
    CAutoLock guard(lock);
    stamp = now;
}

uint64_t CTime::Get()
{
    CAutoLock guard(lock);
    return stamp;
}

void CTime::Set(uint64_t monotonicTime)
{
    CAutoLock guard(lock);
    stamp = monotonicTime;
}

uint32_t CTime::ElapsedMs()
{
    const uint64_t then = Get();
    const uint64_t now = Now();
    if (then >= now)
        return 0;
    return static_cast<uint32_t>((now - then) / 10000);
}

}  // namespace velkora
