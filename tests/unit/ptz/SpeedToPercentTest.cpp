#include <gtest/gtest.h>

#include "ptz/CVerintPTZComm.h"

TEST(SpeedToPercent, HostSpeedsOneToSixteenAndBeyond)
{
    std::vector<int> percent;
    for (int32_t speed : {1, 2, 4, 8, 15, 16, 40, INT32_MAX, 0, -3})
        percent.push_back(velkora::SpeedToPercent(speed));
    EXPECT_EQ(percent, (std::vector<int>{6, 12, 25, 50, 93, 100, 100, 100, 0, 0}));
}
