#include "foundation/MonotonicClock.h"

#include <time.h>

namespace velkora {

namespace {

uint64_t ReadNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace

uint64_t MonotonicNs()
{
    return ReadNs(CLOCK_MONOTONIC);
}

uint64_t MonotonicMs()
{
    return MonotonicNs() / 1'000'000;
}

uint64_t MonotonicCoarseMs()
{
    return ReadNs(CLOCK_MONOTONIC_COARSE) / 1'000'000;
}

}  // namespace velkora
