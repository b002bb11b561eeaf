#include <gtest/gtest.h>

#include "unit/ptz/RecordingComm.h"

namespace velkora {
namespace {

using testing::Caps;
using testing::FakeDriver;
using testing::RecordingComm;

TEST(PTZWorker, KeepsTheNewestFourWhileTheDeviceBlocks) {
  FakeDriver driver;
  RecordingComm worker(&driver, 0, Caps("Pan=1"));
  ASSERT_TRUE(worker.Open());
  EXPECT_EQ(worker.ThreadName(), "BaseIPPTZThread_Ch1");
  worker.Block(true);
  ASSERT_EQ(worker.StartMove(nullptr, 0, 100), 1);
  worker.Take(1);
  for (int32_t speed = 1; speed <= 5; ++speed) EXPECT_EQ(worker.StartMove(nullptr, 1, speed), 1);
  worker.Block(false);
  std::vector<int32_t> speeds;
  for (const CPTZItem& item : worker.Take(4)) speeds.push_back(item.speed);
  EXPECT_EQ(speeds, (std::vector<int32_t>{2, 3, 4, 5}));

  // A throwing item costs only itself.
  ASSERT_TRUE(worker.PostRaw(RecordingComm::kThrowingItem));
  EXPECT_EQ(worker.Take().size(), 1u);
}

TEST(PTZWorker, StartRequestsNeedTheirCapabilityStopsDoNot) {
  FakeDriver driver;
  RecordingComm panTilt(&driver, 0, Caps("Pan=1; Tilt=1")), zoomOnly(&driver, 0, Caps("Zoom=1")),
      tiltOnly(&driver, 0, Caps("Tilt=1")), none(&driver, 0, CPtzCapabilities());
  for (RecordingComm* w : {&panTilt, &zoomOnly, &tiltOnly, &none}) ASSERT_TRUE(w->Open());
  for (int32_t result : {panTilt.StartMove(nullptr, 8, 1), zoomOnly.StartMove(nullptr, 3, 1),
                         none.StartFocus(nullptr, true, 1), none.StartIris(nullptr, true, 1),
                         none.AreaZoom(nullptr, 1, 2, 3, 4), none.Center(nullptr, 1, 2, 3), none.Unzoom(nullptr, 1)})
    EXPECT_EQ(result, -19);
  EXPECT_EQ(zoomOnly.StartMove(nullptr, 9, 1) + tiltOnly.StartMove(nullptr, 3, 1), 2);
  EXPECT_TRUE(none.StopMoving(nullptr) && none.StopZooming(nullptr) && none.StopFocusing(nullptr));
  EXPECT_EQ(none.Take().size(), 3u);
  EXPECT_FALSE(RecordingComm(&driver, 0, Caps("Unzoom=1; Center=1; AreaZoom=1; Preset=3")).IsPTZSupported(nullptr));
  EXPECT_TRUE(driver.WaitForMessages().empty());
}

TEST(PTZWorker, ClosedOrUnstartableWorkerReports) {
  FakeDriver driver;
  RecordingComm worker(&driver, 0, Caps("Pan=1"));
  ASSERT_TRUE(worker.Open());
  worker.Close();
  EXPECT_EQ(worker.StartMove(nullptr, 0, 1), -18);
  EXPECT_FALSE(worker.StopZooming(nullptr));
  struct Unstartable : RecordingComm {
    using RecordingComm::RecordingComm;
    bool StartThread(const char*) override { return false; }
  } unstartable(&driver, 2, CPtzCapabilities());
  EXPECT_FALSE(unstartable.Open());

  std::vector<std::string> texts;
  for (const auto& message : driver.WaitForMessages()) texts.push_back(std::to_string(message.level) + " " + message.text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "1 velkora::CBasePTZComm::StartMove: cannot send message (1) to thread",
                       "1 velkora::CBasePTZComm::StopZooming: cannot send message (4) to thread",
                       "1 velkora::CBasePTZComm::Open: unable to start thread for PTZ channel 3"}));
}

}  // namespace
}  // namespace velkora
