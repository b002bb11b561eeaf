#include "foundation/CTime.h"

#include <time.h>

namespace velkora {

uint64_t CTime::Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 10'000'000ull + static_cast<uint64_t>(now.tv_nsec) / 100;
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
