#include <gtest/gtest.h>

#include <cstring>

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
  worker.WaitFor([](const std::vector<CPTZItem>& seen) { return seen.size() == 1; });
  for (int32_t speed = 1; speed <= 5; ++speed) EXPECT_EQ(worker.StartMove(nullptr, 1, speed), 1);
  worker.Block(false);
  std::vector<int32_t> speeds;
  for (const CPTZItem& item : worker.WaitFor([](const std::vector<CPTZItem>& seen) { return seen.size() == 4; }))
    speeds.push_back(item.speed);
  EXPECT_EQ(speeds, (std::vector<int32_t>{2, 3, 4, 5}));

  // A throwing item costs only itself.
  ASSERT_TRUE(worker.PostRaw(RecordingComm::kThrowingItem));
  EXPECT_EQ(worker.Drain().size(), 1u);
}

TEST(PTZWorker, StartRequestsNeedTheirCapabilityStopsDoNot) {
  FakeDriver driver;
  RecordingComm panTilt(&driver, 0, Caps("Pan=1; Tilt=1"));
  RecordingComm zoomOnly(&driver, 0, Caps("Zoom=1"));
  RecordingComm tiltOnly(&driver, 0, Caps("Tilt=1"));
  RecordingComm none(&driver, 0, CPtzCapabilities());
  for (RecordingComm* w : {&panTilt, &zoomOnly, &tiltOnly, &none}) ASSERT_TRUE(w->Open());
  EXPECT_EQ(panTilt.StartMove(nullptr, 8, 1), -19);
  EXPECT_EQ(zoomOnly.StartMove(nullptr, 3, 1), -19);
  EXPECT_EQ(zoomOnly.StartMove(nullptr, 9, 1), 1);
  EXPECT_EQ(tiltOnly.StartMove(nullptr, 3, 1), 1);
  EXPECT_EQ(none.StartFocus(nullptr, true, 1), -19);
  EXPECT_EQ(none.StartIris(nullptr, true, 1), -19);
  EXPECT_EQ(none.AreaZoom(nullptr, 1, 2, 3, 4), -19);
  EXPECT_EQ(none.Center(nullptr, 1, 2, 3), -19);
  EXPECT_EQ(none.Unzoom(nullptr, 1), -19);
  EXPECT_TRUE(none.StopMoving(nullptr) && none.StopZooming(nullptr) && none.StopFocusing(nullptr));
  EXPECT_EQ(none.Drain().size(), 3u);
  EXPECT_TRUE(driver.Messages().empty());

  RecordingComm all(&driver, 0,
                    Caps("Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=1; Unzoom=1; AreaZoom=1; Center=1"));
  ASSERT_TRUE(all.Open());
  auto* params = reinterpret_cast<IIPParams*>(&driver);  // only carried, never used
  // Queued one at a time: the bound of 4 must not drop any of them.
  auto queued = [&](int32_t result) {
    EXPECT_EQ(result, 1);
    const auto items = all.Drain();
    EXPECT_EQ(items.size(), 1u);
    EXPECT_EQ(items.at(0).sender, params);
    const CPTZItem& i = items.at(0);
    return std::vector<int64_t>{i.type, i.action, i.speed, i.arg1, i.arg2, i.arg3};
  };
  EXPECT_EQ(queued(all.StartFocus(params, true, 3)), (std::vector<int64_t>{2, 2, 3, 0, 0, 0}));
  EXPECT_EQ(queued(all.StartIris(params, false, 4)), (std::vector<int64_t>{3, 4, 4, 0, 0, 0}));
  EXPECT_EQ(queued(all.AreaZoom(params, 1, 2, 3, 4)), (std::vector<int64_t>{5, 0, 4, 1, 2, 3}));
  EXPECT_EQ(queued(all.Center(params, 5, 6, 7)), (std::vector<int64_t>{6, 0, 7, 5, 6, 0}));
  EXPECT_EQ(queued(all.Unzoom(params, 8)), (std::vector<int64_t>{7, 0, 8, 0, 0, 0}));
}

TEST(PTZWorker, ClosedOrUnstartableWorkerReportsOnce) {
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

  const auto messages = driver.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text, "velkora::CBasePTZComm::StartMove: cannot send message (1) to thread");
  EXPECT_EQ(messages[1].text, "velkora::CBasePTZComm::StopZooming: cannot send message (4) to thread");
  EXPECT_EQ(messages[2].text, "velkora::CBasePTZComm::Open: unable to start thread for PTZ channel 3");
  EXPECT_EQ(messages[2].level, 1);
}

TEST(PTZWorker, CapabilityRecordAndSupport) {
  FakeDriver driver;
  RecordingComm sideOnly(&driver, 0, Caps("Unzoom=1; Center=1; AreaZoom=1; Preset=3"));
  EXPECT_FALSE(sideOnly.IsPTZSupported(nullptr));
  RecordingComm iris(&driver, 0, Caps("Iris=1; Preset=5"));
  EXPECT_TRUE(iris.IsPTZSupported(nullptr));
  PTZ_CAPABILITIES record;
  std::memset(&record, 0xCD, sizeof(record));
  EXPECT_EQ(iris.GetCapabilities(&record), 1);
  EXPECT_EQ(record.hostWord0, 0xCDCDCDCDu);
  EXPECT_EQ(record.iris, 1u);
  EXPECT_EQ(record.presetCount, 5u);
  EXPECT_EQ(record.word6 | record.word8 | record.word9 | record.word10 | record.pan, 0u);
}

}  // namespace
}  // namespace velkora
