#pragma once

#include <cstdint>

#include "rtp/TStatisticsHelper.h"

namespace velkora {

// Turns RTP timestamps of successive frames into wall-clock frame times (FILETIME units:
// 100 ns since 1601-01-01 UTC). The camera's clock rate is measured against the local clock
// over the last 1000 frames; frame times never fall behind the local clock, and a lead over
// it is worked off gradually so that frame spacing stays smooth. A jump of the camera's RTP
// clock (forward or back, far beyond a frame step) re-anchors the frame times: the frame
// follows the last one by a normal step, or comes at the clock if that is later.
class CTimeStampConverter
{
public:
    CTimeStampConverter();
    virtual ~CTimeStampConverter() = default;

    void Reset();
    // Advances to the frame with RTP timestamp t, using the current system time.
    void Update(uint32_t rtpTimestamp);
    // As above with an explicit "now" (FILETIME units; 0 means the clock could not be read)
    // and the monotonic reading the clock rate is measured on (100-ns units; `now` itself
    // when omitted). A step of the wall clock moves `now` but not `tick`, so it can neither
    // stretch nor squash the measured rate.
    void Update(uint32_t rtpTimestamp, uint64_t now) { Update(rtpTimestamp, now, now); }
    void Update(uint32_t rtpTimestamp, uint64_t now, uint64_t tick);

    uint64_t GetFrameTime() const { return frameTime_; }
    uint32_t GetLastRtpTimestamp() const { return lastRtpTimestamp_; }
    uint64_t GetLead() const { return lead_; }

private:
    void Restart(uint32_t rtpTimestamp, uint64_t now, uint64_t tick);
    bool IsJump(uint32_t ticks) const;
    // The frame step of the recent frames, 100-ns units (1 ms before any is known).
    uint64_t NormalStep() const;

    uint64_t frameTime_ = 0;
    uint32_t lastRtpTimestamp_ = 0;
    uint64_t lead_ = 0;
    TStatisticsHelper<unsigned> rtpSteps_;
    TStatisticsHelper<unsigned> clockSteps_;
    uint64_t lastClock_ = 0;  // monotonic reading at the last frame
};

}  // namespace velkora
