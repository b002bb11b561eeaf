#pragma once
// The recording's own time line. The driver stamps frames with UTC, which a step of
// the host's clock (NTP, an operator) moves by hours at once and whose rate it
// disturbs for a while after; durations, segment lengths and container times must
// not follow that. A frame's step is taken from the driver's times unless it left
// the normal step while the frame's arrival on the monotonic clock did not: then the
// frame follows the last one by one normal step.

#include <chrono>
#include <cstdint>
#include <deque>

namespace hqcli {

class FrameTimeline
{
public:
    using Clock = std::chrono::steady_clock;

    // Milliseconds of the frame from the first one: `frameMs` is the driver's frame
    // time (ms since 1970, 0 when it gave none), `arrival` when the frame came.
    // Increasing from frame to frame.
    int64_t Place(int64_t frameMs, Clock::time_point arrival);

private:
    bool started = false;
    int64_t lastFrameMs = 0;
    Clock::time_point lastArrival{};
    double mediaMs = 0;
    std::deque<double> steps;  // the last ones taken from the driver's times
    double stepSum = 0;
};

}  // namespace hqcli
