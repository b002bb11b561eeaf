#include "rtp/CTimeStampConverter.h"

#include <algorithm>
#include <cmath>

#include "foundation/CTime.h"
#include "foundation/FileTime.h"

namespace velkora {

namespace {

constexpr uint32_t kWindow = 1000;
constexpr size_t kNominalSamples = 100;     // frames stepped at the nominal 90 kHz rate
constexpr uint64_t kTicksToFileTime = 111;  // 90 kHz tick in 100-ns units (rounded)
constexpr uint64_t kOneMs = 10'000;
constexpr uint64_t kMaxUnforcedLead = 2'500'000;  // 250 ms
constexpr uint32_t kJumpTicks = 90'091;           // a step of a second or more at 90 kHz

}  // namespace

CTimeStampConverter::CTimeStampConverter() : rtpSteps_(kWindow), clockSteps_(kWindow) {}

void CTimeStampConverter::Reset()
{
    frameTime_ = 0;
    lastRtpTimestamp_ = 0;
    lead_ = 0;
    rtpSteps_.Clear();
    clockSteps_.Clear();
    lastClock_ = 0;
}

void CTimeStampConverter::Restart(uint32_t rtpTimestamp, uint64_t now, uint64_t tick)
{
    frameTime_ = now;
    lead_ = 0;
    lastClock_ = tick;
    lastRtpTimestamp_ = rtpTimestamp;
}

void CTimeStampConverter::Update(uint32_t rtpTimestamp)
{
    Update(rtpTimestamp, GetSystemTimeAsFileTime(), CTime::Now());
}

bool CTimeStampConverter::IsJump(uint32_t d) const
{
    // Beyond a second of the nominal clock, and beyond ten normal steps (a camera that
    // sends a frame every few seconds steps that far every frame).
    const double normal = rtpSteps_.GetMean();
    return d >= kJumpTicks && static_cast<double>(d) > 10 * normal;
}

uint64_t CTimeStampConverter::NormalStep() const
{
    if (rtpSteps_.GetCount() == 0)
        return kOneMs;
    if (rtpSteps_.GetCount() <= kNominalSamples)
        return static_cast<uint64_t>(rtpSteps_.GetMean() * kTicksToFileTime);
    return static_cast<uint64_t>(clockSteps_.GetMean());
}

void CTimeStampConverter::Update(uint32_t t, uint64_t now, uint64_t tick)
{
    if (now == 0 || frameTime_ == 0 || lastRtpTimestamp_ == 0) {
        Restart(t, now, tick);
        return;
    }

    // Distances modulo 2^32: a timestamp that wraps steps forward as any other.
    const uint32_t d = t - lastRtpTimestamp_;
    const uint32_t back = lastRtpTimestamp_ - t;
    if ((d < 0x80000000u && IsJump(d)) || (d >= 0x80000000u && back >= kJumpTicks)) {
        // The camera's RTP clock jumped (encoder restart, its own clock set): the frame
        // still follows the last one by a normal step, and the jump is kept out of the
        // averages.
        frameTime_ = std::max(frameTime_ + NormalStep(), now);
        lead_ = frameTime_ > now ? frameTime_ - now : 0;
        lastClock_ = tick;
        lastRtpTimestamp_ = t;
        return;
    }

    bool resync = false;
    if (d == 0 || d >= 0x80000000u) {
        // Repeated timestamp (or a little back): keep frames 1 ms apart, never behind the clock.
        frameTime_ = std::max(frameTime_ + kOneMs, now);
        resync = true;
    } else {
        rtpSteps_.Add(d);
        if (tick >= lastClock_)
            clockSteps_.Add(static_cast<unsigned>((tick - lastClock_) & 0xffffffffu));

        if (rtpSteps_.GetCount() <= kNominalSamples) {
            frameTime_ += uint64_t{d} * kTicksToFileTime;
            resync = rtpSteps_.GetCount() == kNominalSamples;
        } else {
            const double rtpMean = rtpSteps_.GetMean();  // > 0: this window holds d
            uint64_t step =
                static_cast<uint64_t>(std::floor(static_cast<double>(d) * clockSteps_.GetMean() / rtpMean + 0.5));
            if (lead_ > kOneMs && step > 4 * kOneMs) {
                const uint64_t cut = std::min(std::max(step / 10, kOneMs), lead_);
                step -= cut;
                lead_ -= cut;
            }
            frameTime_ += step;
        }
    }

    if (now < frameTime_) {
        if (resync || frameTime_ - now > kMaxUnforcedLead)
            lead_ = frameTime_ - now;
        lastClock_ = tick;
        lastRtpTimestamp_ = t;
        return;
    }
    Restart(t, now, tick);
}

}  // namespace velkora
