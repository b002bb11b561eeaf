#include "foundation/CTime.h"

namespace velkora {

void CTime::Update()
{
    const uint64_t now = GetSystemTimeAsFileTime();
    CAutoLock guard(lock);
    stamp = now;
}

uint64_t CTime::Get()
{
    CAutoLock guard(lock);
    return stamp;
}

void CTime::Set(uint64_t fileTime)
{
    CAutoLock guard(lock);
    stamp = fileTime;
}

uint32_t CTime::ElapsedMs()
{
    const uint64_t then = Get();
    const uint64_t now = GetSystemTimeAsFileTime();
    if (then >= now)
        return 0;
    return static_cast<uint32_t>((now - then) / 10000);
}

} // namespace velkora
