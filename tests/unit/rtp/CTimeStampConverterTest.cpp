#include <gtest/gtest.h>

#include "rtp/CTimeStampConverter.h"
#include "rtp/TStatisticsHelper.h"

using velkora::CTimeStampConverter;
using velkora::TStatisticsHelper;

namespace {
constexpr uint64_t kNow = 133'000'000'000'000'000ULL;  // some FILETIME in 2022
constexpr uint64_t kMs = 10'000;
}  // namespace

TEST(StatisticsHelper, KeepsTheLastWindowSamples) {
    TStatisticsHelper<unsigned> h(3);
    EXPECT_EQ(h.GetMean(), 0.0);
    for (unsigned v : {10u, 20u, 30u, 40u}) h.Add(v);
    EXPECT_EQ(h.GetCount(), 3u);
    EXPECT_DOUBLE_EQ(h.GetSum(), 90.0);
    EXPECT_DOUBLE_EQ(h.GetMean(), 30.0);
}

TEST(TimeStampConverter, FirstFrameAndUnusableInputRestartAtNow) {
    CTimeStampConverter c;
    c.Update(1000, kNow);
    EXPECT_EQ(c.GetFrameTime(), kNow);
    EXPECT_EQ(c.GetLastRtpTimestamp(), 1000u);
    c.Update(2000, 0);  // clock unreadable
    EXPECT_EQ(c.GetFrameTime(), 0u);
    c.Update(3000, kNow + 5 * kMs);
    EXPECT_EQ(c.GetFrameTime(), kNow + 5 * kMs);
}

TEST(TimeStampConverter, NominalStepsDuringTheFirstHundredFrames) {
    CTimeStampConverter c;
    c.Update(90'000, kNow);
    // One second of RTP clock with the local clock standing still: 90 000 x 111 units.
    c.Update(180'000, kNow);
    EXPECT_EQ(c.GetFrameTime(), kNow + 9'990'000);
    EXPECT_EQ(c.GetLead(), 9'990'000u);
    // 90 091 ticks would be a step of a second or more: restart at the clock.
    c.Update(180'000 + 90'091, kNow + kMs);
    EXPECT_EQ(c.GetFrameTime(), kNow + kMs);
    EXPECT_EQ(c.GetLead(), 0u);
    c.Update(270'091 + 90'090, kNow + kMs);
    EXPECT_EQ(c.GetFrameTime(), kNow + kMs + 9'999'990);
}

TEST(TimeStampConverter, EqualTimestampsAreOneMillisecondApartButNeverBehindTheClock) {
    CTimeStampConverter c;
    c.Update(5000, kNow);
    c.Update(5000, kNow);
    EXPECT_EQ(c.GetFrameTime(), kNow + kMs);
    c.Update(5000, kNow + 50 * kMs);  // the clock is later: restart at the clock
    EXPECT_EQ(c.GetFrameTime(), kNow + 50 * kMs);
    c.Update(4000, kNow + 50 * kMs);  // backwards (or a wrap) behaves the same
    EXPECT_EQ(c.GetFrameTime(), kNow + 51 * kMs);
}

TEST(TimeStampConverter, WorksOffALeadGraduallyAfterABurst) {
    CTimeStampConverter c;
    // 25 fps camera: 3600 ticks per 40 ms of local clock.
    uint32_t t = 3600;
    uint64_t clock = kNow;
    c.Update(t, clock);
    for (int i = 0; i < 100; ++i) {
        t += 3600;
        clock += 40 * kMs;
        c.Update(t, clock);
    }
    ASSERT_EQ(c.GetFrameTime(), clock);  // nominal steps are a little short: pinned to the clock

    // Ten frames' worth of RTP time arrives within one frame period: the frame time runs
    // ahead of the clock by more than 250 ms.
    t += 36'000;
    clock += 40 * kMs;
    c.Update(t, clock);
    ASSERT_GT(c.GetFrameTime(), clock + 250 * kMs);
    ASSERT_GT(c.GetLead(), 0u);

    uint64_t ahead = c.GetFrameTime() - clock;
    int frames = 0;
    while (c.GetFrameTime() > clock && frames < 500) {
        const uint64_t previous = c.GetFrameTime();
        t += 3600;
        clock += 40 * kMs;
        c.Update(t, clock);
        ++frames;
        const uint64_t step = c.GetFrameTime() - previous;
        EXPECT_GT(step, 0u);
        EXPECT_LE(step, 40 * kMs);  // steps are shortened, never lengthened
        if (c.GetFrameTime() > clock) {
            EXPECT_LT(c.GetFrameTime() - clock, ahead);
            ahead = c.GetFrameTime() - clock;
        }
    }
    // Worked off over many frames (a tenth of a step each), not in one jump.
    EXPECT_GT(frames, 10);
    EXPECT_LT(frames, 500);
    EXPECT_EQ(c.GetFrameTime(), clock);
}
