#pragma once
// The one source of elapsed time: CLOCK_MONOTONIC, which no step of the host's wall
// clock (NTP, an operator) moves. The wall clock is read only where its value is the
// point (FileTime.h).

#include <cstdint>

namespace velkora {

// Nanoseconds since an arbitrary start.
uint64_t MonotonicNs();
// Milliseconds since the same start.
uint64_t MonotonicMs();
// Milliseconds of the coarse monotonic clock: no system call, a resolution of a few
// milliseconds; for checks made per packet that only need to notice a tick.
uint64_t MonotonicCoarseMs();

}  // namespace velkora
