#include <gtest/gtest.h>

#include "rtp/CTimeStampConverter.h"

using velkora::CTimeStampConverter;

constexpr uint64_t kNow = 133'000'000'000'000'000ULL, kMs = 10'000;  // a FILETIME in 2022, 1 ms

TEST(TimeStampConverter, NominalStepsAndRepeatedTimestamps)
{
    CTimeStampConverter c;
    c.Update(90'000, kNow);
    EXPECT_EQ(c.GetFrameTime(), kNow);  // the first frame starts at the clock
    c.Update(180'000, kNow);            // 90 000 ticks within the first 100 frames: 0.999 s
    EXPECT_EQ(c.GetFrameTime(), kNow + 9'990'000);
    c.Update(180'000, kNow + kMs);  // the same timestamp: 1 ms later
    EXPECT_EQ(c.GetFrameTime(), kNow + 10'000'000);
    c.Update(170'000, kNow + 2000 * kMs);  // a little back, clock later: never behind the clock
    EXPECT_EQ(c.GetFrameTime(), kNow + 2000 * kMs);
    c.Update(280'000, 0);  // clock unreadable
    EXPECT_EQ(c.GetFrameTime(), 0u);
}

// An encoder restart or a camera setting its own clock: the frame times go on at 25 fps
// across the jump, before the rate is measured (frame 50) and after (frame 300).
TEST(TimeStampConverter, RtpClockJumpsKeepFrameStepsEven)
{
    struct Case {
        const char* name;
        uint32_t first;
        int64_t jump;  // ticks
        int at;
    };
    const Case cases[] = {
        {"an hour forward", 3600, 3600LL * 90'000, 300}, {"an hour back", 3600, -3600LL * 90'000, 300},
        {"ten seconds back, early", 3600, -900'000, 50}, {"forward, early", 3600, 2'000'000'000, 50},
        {"a wrap is a step", 0xffff0000u, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        CTimeStampConverter c;
        uint32_t t = k.first;
        uint64_t clock = kNow;
        c.Update(t, clock);
        for (int i = 1; i < 500; ++i) {
            const uint64_t previous = c.GetFrameTime();
            t += 3600 + (i == k.at ? static_cast<uint32_t>(k.jump) : 0);
            c.Update(t, clock += 40 * kMs);
            ASSERT_GE(c.GetFrameTime(), previous + 39 * kMs) << i;
            ASSERT_LE(c.GetFrameTime(), previous + 41 * kMs) << i;
        }
    }
}

// The host's clock stepped an hour forward: the frame comes at the new clock once, and the
// steps after it stay those of the camera (the rate is measured on the monotonic clock).
TEST(TimeStampConverter, WallClockStepLeavesTheMeasuredRateAlone)
{
    CTimeStampConverter c;
    uint32_t t = 3600;
    uint64_t clock = kNow, tick = 1000 * kMs;
    for (int i = 0; i < 300; ++i)
        c.Update(t += 3600, clock += 40 * kMs, tick += 40 * kMs);
    clock += 3600'000 * kMs;
    c.Update(t += 3600, clock += 40 * kMs, tick += 40 * kMs);
    EXPECT_EQ(c.GetFrameTime(), clock);
    for (int i = 0; i < 300; ++i) {
        const uint64_t previous = c.GetFrameTime();
        c.Update(t += 3600, clock += 40 * kMs, tick += 40 * kMs);
        ASSERT_LE(c.GetFrameTime() - previous, 41 * kMs) << i;
    }
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
