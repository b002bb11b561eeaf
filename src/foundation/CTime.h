#pragma once

#include <cstdint>

#include "foundation/CRecursiveLock.h"

namespace velkora {

// An instant on the monotonic clock that one thread updates and another reads. Elapsed
// times are never taken from the wall clock: a step of the host's clock (NTP, an
// operator) must neither fire a timer nor hold one back.
class CTime
{
public:
    CTime() : stamp(Now()) {}
    virtual ~CTime() = default;

    // CLOCK_MONOTONIC in 100 ns units (the scale of Get and Set).
    static uint64_t Now();

    void Update();
    uint64_t Get();
    void Set(uint64_t monotonicTime);
    // Milliseconds since the stamp; 0 when the stamp is not in the past.
    uint32_t ElapsedMs();

private:
    CRecursiveLock lock;
    uint64_t stamp;
};

}  // namespace velkora
