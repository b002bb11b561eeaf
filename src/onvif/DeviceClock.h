#pragma once
// Arithmetic of a device's clock against ours, from its GetSystemDateAndTime answer.

#include <velkora/records.h>

#include <cstdint>
#include <optional>
#include <string>

namespace velkora {

// Clocks closer than this agree: the device's answer has whole seconds and takes
// a round trip, and devices accept a Created this near.
constexpr int64_t kClockToleranceSeconds = 5;

// The UTC date and time a device answered; a device may leave the date out.
struct DeviceDateTime {
    bool hasDate = false;
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0;
};

// UTCDateTime of a GetSystemDateAndTime answer; nullopt when absent or malformed.
std::optional<DeviceDateTime> ReadDeviceDateTime(const std::string& answer);

// Seconds the device's clock is ahead of ours (negative: behind) at our file time
// `ours`; nullopt for an impossible time. Without a date the nearest day is taken,
// so the offset lies within half a day.
std::optional<int64_t> ClockOffsetSeconds(const DeviceDateTime& device, uint64_t ours);

// Our time `ours` moved by `offsetSeconds`: a Created the device takes as now.
SYSTEMTIME ShiftedTime(uint64_t ours, int64_t offsetSeconds);

}  // namespace velkora
