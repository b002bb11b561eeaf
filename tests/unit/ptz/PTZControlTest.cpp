#include <gtest/gtest.h>

#include "ptz/CBasePTZControl.h"
#include "unit/ptz/RecordingComm.h"

namespace velkora {
namespace {

using testing::Caps;
using testing::FakeDriver;
using testing::RecordingComm;

class TestControl : public CBasePTZControl {
 public:
  TestControl(IDriver* driver, uint32_t channel, const char* caps, bool workerFails = false)
      : CBasePTZControl(driver, channel), caps(caps), workerFails(workerFails) {}
  CBasePTZComm* CreateWorker() override {
    if (workerFails) return nullptr;
    worker = new RecordingComm(GetDriver(), static_cast<uint16_t>(GetChannelIndex()), Caps(caps));
    return worker;
  }
  // (direction, speed) of the moves queued since the last call.
  std::vector<std::pair<uint32_t, int32_t>> Queued() {
    std::vector<std::pair<uint32_t, int32_t>> moves;
    for (const CPTZItem& item : worker->Take())
      moves.emplace_back(item.type == kPTZStop ? 100 + item.action : item.arg1, item.speed);
    return moves;
  }
  RecordingComm* worker = nullptr;

 private:
  const char* caps;
  bool workerFails;
};

using Moves = std::vector<std::pair<uint32_t, int32_t>>;

TEST(PTZControl, RepeatsOfTheMoveInProgressAreNotQueued) {
  FakeDriver driver;
  TestControl control(&driver, 0, "Pan=1; Tilt=1; Zoom=1");
  ASSERT_TRUE(control.Open());
  EXPECT_EQ(control.StartMove(2, 5), 1);
  EXPECT_EQ(control.StartMove(2, 5), 1);
  EXPECT_EQ(control.StartMove(2, 6), 1);
  EXPECT_EQ(control.Queued(), (Moves{{2, 5}}));
  EXPECT_EQ(control.StartMove(2, 8), 1);
  EXPECT_EQ(control.StartMove(2, 1), 1);
  EXPECT_EQ(control.StartMove(2, 0), 1);
  EXPECT_EQ(control.Queued(), (Moves{{2, 8}, {2, 1}, {2, 0}}));
  EXPECT_EQ(control.StartMove(2, INT32_MAX), 1);
  EXPECT_EQ(control.StartMove(2, INT32_MIN), 1);  // far from INT32_MAX, however the sum wraps
  EXPECT_EQ(control.Queued(), (Moves{{2, INT32_MAX}, {2, INT32_MIN}}));

  // Direction 8 and 9 are the zoom slots; 10 is no direction.
  EXPECT_EQ(control.StartMove(8, 4), 1);
  EXPECT_EQ(control.StartZoomA(4), 1);
  EXPECT_EQ(control.StartZoomB(4), 1);
  EXPECT_EQ(control.StartMove(9, 4), 1);
  EXPECT_EQ(control.StartMove(10, 4), -3);
  EXPECT_EQ(control.Queued(), (Moves{{8, 4}, {9, 4}}));
}

TEST(PTZControl, StopEndsWhatIsActiveAndResetsTheRememberedMoves) {
  FakeDriver driver;
  TestControl control(&driver, 0, "Pan=1; Focus=1");
  ASSERT_TRUE(control.Open());
  EXPECT_EQ(control.Stop(), 1);
  EXPECT_EQ(control.Queued(), Moves{});

  EXPECT_EQ(control.StartMove(1, 3), 1);
  EXPECT_EQ(control.StartFocusB(2), 1);
  EXPECT_EQ(control.StartZoomA(2), -19);  // no zoom: refused but remembered
  EXPECT_EQ(control.StartZoomA(2), 1);
  EXPECT_EQ(control.Queued(), (Moves{{1, 3}, {0, 2}}));
  EXPECT_EQ(control.Stop(), 1);
  EXPECT_EQ(control.StartMove(1, 3), 1);
  EXPECT_EQ(control.Queued(), (Moves{{105, 0}, {107, 0}, {1, 3}}));

  // A stop the worker refuses stays pending and is retried by the next Stop.
  control.worker->Close();
  EXPECT_EQ(control.Stop(), -18);
  ASSERT_TRUE(control.worker->Open());
  EXPECT_EQ(control.Stop(), 1);
  EXPECT_EQ(control.Queued(), (Moves{{105, 0}}));
}

TEST(PTZControl, ResultCodes) {
  FakeDriver driver;
  TestControl broken(&driver, 0, "", true);
  EXPECT_FALSE(broken.Open());
  PTZ_CAPABILITIES record{};
  for (int32_t result : {broken.IsPTZSupported(), broken.StartMove(0, 1), broken.Stop(), broken.StartZoomB(1),
                         broken.StartIrisB(1), broken.Center(1, 2, 3), broken.GetCapabilities(&record)})
    EXPECT_EQ(result, -18);
  EXPECT_EQ(broken.IsSuccess(1) + broken.IsSuccess(-18) + broken.IsSuccess(0), 1);

  TestControl control(&driver, 4, "Pan=1; Preset=5");
  ASSERT_TRUE(control.Open());
  EXPECT_EQ(control.GetCapabilities(nullptr), -3);
  EXPECT_EQ(control.GetCapabilities(&record), 1);
  EXPECT_EQ(record.pan, 1u);
  EXPECT_EQ(record.presetCount, 0u);  // the host never sees presets
}

}  // namespace
}  // namespace velkora
