#include <gtest/gtest.h>

#include <cstring>

#include "foundation/CTime.h"
#include "foundation/FileTime.h"

using namespace velkora;

namespace {
SYSTEMTIME Make(uint16_t y, uint16_t mo, uint16_t d, uint16_t h = 0, uint16_t mi = 0, uint16_t s = 0, uint16_t ms = 0)
{
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}
}  // namespace

TEST(FileTime, KnownInstantsRoundTripAndInvalidFieldsGiveZero)
{
    EXPECT_EQ(ToFileTime(Make(1601, 1, 1)), 0u);  // the origin itself
    EXPECT_EQ(ToFileTime(Make(1970, 1, 1, 0, 0, 1, 1)), FileTimeUnixEpoch + 10010000);
    EXPECT_EQ(ToFileTime(Make(2000, 2, 29, 12, 30, 15, 250)), 125963010152500000ull);
    SYSTEMTIME time{};
    ASSERT_TRUE(FileTimeToSystemTime(125963010152500000ull, &time));
    const uint16_t expected[] = {2000, 2, 2 /* Tuesday */, 29, 12, 30, 15, 250};
    EXPECT_EQ(0, std::memcmp(&time, expected, sizeof expected));

    for (const SYSTEMTIME& bad :
         {Make(1600, 12, 31), Make(2001, 2, 29), Make(2024, 13, 1), Make(2024, 0, 1), Make(2024, 4, 31),
          Make(2024, 1, 1, 24), Make(2024, 1, 1, 0, 60), Make(2024, 1, 1, 0, 0, 60), Make(2024, 1, 1, 0, 0, 0, 1000)})
        EXPECT_EQ(ToFileTime(bad), 0u) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
}

TEST(CTime, ElapsedIsZeroNowAndForFutureStamps)
{
    CTime stamp;
    stamp.Update();
    EXPECT_LT(stamp.ElapsedMs(), 1000u);
    stamp.Set(CTime::Now() + 10'000'000ull * 3600);
    EXPECT_EQ(stamp.ElapsedMs(), 0u);
    stamp.Set(CTime::Now() - 10'000ull * 5000);
    EXPECT_GE(stamp.ElapsedMs(), 5000u);
}
