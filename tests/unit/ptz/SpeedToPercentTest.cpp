#include <gtest/gtest.h>

#include "ptz/CVerintPTZComm.h"

namespace velkora {
namespace {

TEST(SpeedToPercent, HostSpeedsOneToSixteen) {
  std::vector<int> percent;
  for (int32_t speed = 1; speed <= 16; ++speed) percent.push_back(SpeedToPercent(speed));
  EXPECT_EQ(percent, (std::vector<int>{6, 12, 18, 25, 31, 37, 43, 50, 56, 62, 68, 75, 81, 87, 93, 100}));
  EXPECT_EQ(SpeedToPercent(40), 100);
  EXPECT_EQ(SpeedToPercent(INT32_MAX), 100);
  EXPECT_EQ(SpeedToPercent(0), 0);
  EXPECT_EQ(SpeedToPercent(-3), 0);
}

}  // namespace
}  // namespace velkora
