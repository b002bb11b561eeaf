#pragma once
// Wall-clock and tick time. A file time counts 100 ns units since
// 1601-01-01 00:00 UTC.

#include <cstdint>

#include <velkora/records.h>

namespace velkora {

// File time of the Unix epoch.
constexpr uint64_t FileTimeUnixEpoch = 116444736000000000ull;

uint64_t GetSystemTimeAsFileTime();
void GetSystemTime(SYSTEMTIME* time);
// 0 when a field is out of range (year 1601..30827, valid month and day,
// hour < 24, minute and second < 60, milliseconds < 1000).
uint64_t ToFileTime(const SYSTEMTIME& time);
// False for file times beyond year 30827.
bool FileTimeToSystemTime(uint64_t fileTime, SYSTEMTIME* time);
// Milliseconds of the monotonic clock (MonotonicClock.h), wrapping at 32 bits.
uint32_t timeGetTime();

}  // namespace velkora
