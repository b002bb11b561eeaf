#include "rtp/CTimeStampConverter.h"

#include <algorithm>
#include <cmath>

#include "foundation/FileTime.h"

namespace velkora {

namespace {

constexpr uint32_t kWindow = 1000;
constexpr size_t kNominalSamples = 100;     // frames stepped at the nominal 90 kHz rate
constexpr uint64_t kTicksToFileTime = 111;  // 90 kHz tick in 100-ns units (rounded)
constexpr uint64_t kOneSecond = 10'000'000;
constexpr uint64_t kOneMs = 10'000;
constexpr uint64_t kMaxUnforcedLead = 2'500'000;  // 250 ms

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

void CTimeStampConverter::Restart(uint32_t rtpTimestamp, uint64_t now)
{
    frameTime_ = now;
    lead_ = 0;
    lastClock_ = now;
    lastRtpTimestamp_ = rtpTimestamp;
}

void CTimeStampConverter::Update(uint32_t rtpTimestamp)
{
    Update(rtpTimestamp, GetSystemTimeAsFileTime());
}

void CTimeStampConverter::Update(uint32_t t, uint64_t now)
{
    if (now == 0 || frameTime_ == 0 || lastRtpTimestamp_ == 0) {
        Restart(t, now);
        return;
    }

    bool resync = false;
    if (t <= lastRtpTimestamp_) {
        // Repeated timestamp (or a wrap): keep frames 1 ms apart, never behind the clock.
        frameTime_ = std::max(frameTime_ + kOneMs, now);
        resync = true;
    } else {
        const uint32_t d = t - lastRtpTimestamp_;
        rtpSteps_.Add(d);
        if (now >= lastClock_)
            clockSteps_.Add(static_cast<unsigned>((now - lastClock_) & 0xffffffffu));

        if (rtpSteps_.GetCount() <= kNominalSamples) {
            const uint64_t step = uint64_t{d} * kTicksToFileTime;
            if (step >= kOneSecond) {
                Restart(t, now);
                return;
            }
            frameTime_ += step;
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
        lastClock_ = now;
        lastRtpTimestamp_ = t;
        return;
    }
    Restart(t, now);
}

}  // namespace velkora
