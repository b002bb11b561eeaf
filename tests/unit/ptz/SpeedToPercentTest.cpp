#include <gtest/gtest.h>

#include "ptz/CVerintPTZComm.h"

TEST(SpeedToPercent, HostSpeedsOneToSixteenAndBeyond) {
  std::vector<int> percent;
  for (int32_t speed : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 40, INT32_MAX, 0, -3})
    percent.push_back(velkora::SpeedToPercent(speed));
  EXPECT_EQ(percent, (std::vector<int>{6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93, 100, 100, 100, 0, 0}));
}
