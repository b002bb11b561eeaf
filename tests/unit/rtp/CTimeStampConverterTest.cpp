#include <gtest/gtest.h>

#include "rtp/CTimeStampConverter.h"

using velkora::CTimeStampConverter;

constexpr uint64_t kNow = 133'000'000'000'000'000ULL, kMs = 10'000;  // a FILETIME in 2022, 1 ms

TEST(TimeStampConverter, NominalStepsRestartsAndRepeatedTimestamps)
{
    CTimeStampConverter c;
    c.Update(90'000, kNow);
    EXPECT_EQ(c.GetFrameTime(), kNow);  // the first frame starts at the clock
    c.Update(180'000, kNow);            // 90 000 ticks within the first 100 frames: 0.999 s
    EXPECT_EQ(c.GetFrameTime(), kNow + 9'990'000);
    c.Update(270'091, kNow + kMs);  // 90 091 ticks would be a second or more: restart
    EXPECT_EQ(c.GetFrameTime(), kNow + kMs);
    c.Update(270'091, kNow + kMs);  // the same timestamp: 1 ms later
    EXPECT_EQ(c.GetFrameTime(), kNow + 2 * kMs);
    c.Update(270'000, kNow + 50 * kMs);  // backwards, clock later: never behind the clock
    EXPECT_EQ(c.GetFrameTime(), kNow + 50 * kMs);
    c.Update(280'000, 0);  // clock unreadable
    EXPECT_EQ(c.GetFrameTime(), 0u);
}

TEST(TimeStampConverter, WorksOffALeadGraduallyAfterABurst)
{
    CTimeStampConverter c;
    uint32_t t = 3600;  // 25 fps: 3600 ticks per 40 ms
    uint64_t clock = kNow;
    for (int i = 0; i <= 100; ++i)
        c.Update(t += 3600, clock += 40 * kMs);
    ASSERT_EQ(c.GetFrameTime(), clock);  // nominal steps are a little short: pinned to the clock
    // Ten frames of RTP time within one frame period: more than 250 ms ahead of the clock.
    c.Update(t += 36'000, clock += 40 * kMs);
    uint64_t ahead = c.GetFrameTime() - clock;
    ASSERT_GT(ahead, 250 * kMs);
    int frames = 0;
    for (; c.GetFrameTime() > clock && frames < 500; ++frames) {
        const uint64_t previous = c.GetFrameTime();
        c.Update(t += 3600, clock += 40 * kMs);
        EXPECT_GT(c.GetFrameTime(), previous);
        EXPECT_LE(c.GetFrameTime() - previous, 40 * kMs);  // steps shortened, never lengthened
        EXPECT_TRUE(c.GetFrameTime() <= clock || c.GetFrameTime() - clock < ahead);
        ahead = c.GetFrameTime() - clock;
    }
    EXPECT_GT(frames, 10);  // a tenth of a step per frame, not one jump
    EXPECT_EQ(c.GetFrameTime(), clock);
}
