#include <gtest/gtest.h>

#include <stdexcept>

#include "ptz/CBasePTZControl.h"
#include "support/TestDriver.h"

namespace velkora {
namespace {

using Moves = std::vector<std::pair<uint32_t, int32_t>>;

CPtzCapabilities Caps(const char* text)
{
    CPtzCapabilities caps;
    caps.FromString(text);
    return caps;
}

// A worker that records what would reach the device, and can hold itself
// "inside the device" so that requests pile up.
class RecordingComm : public CBasePTZComm
{
public:
    static constexpr uint32_t kThrowingItem = 77;
    using CBasePTZComm::CBasePTZComm;
    ~RecordingComm() override { Close(); }

    void ProcessItem(CPTZItem* item) override
    {
        std::unique_lock<std::mutex> guard(lock);
        items.emplace_back(item->type == kPTZStop ? 100 + item->action : item->arg1, item->speed);
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(10), [this] { return !blocked; });
        if (item->type == kThrowingItem)
            throw std::runtime_error("device fault");
    }
    // (direction, speed) of the items processed once `count` arrived, stops as (100 + action, 0);
    // count 0: all before a sentinel stop (action 8).
    Moves Take(size_t count = 0)
    {
        EXPECT_TRUE(count != 0 || StopIrisChanging(nullptr));
        std::unique_lock<std::mutex> guard(lock);
        EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] {
            return count ? items.size() >= count : !items.empty() && items.back().first == 108;
        }));
        Moves seen;
        seen.swap(items);
        if (count == 0)
            seen.pop_back();
        return seen;
    }
    void Block(bool value)
    {
        std::lock_guard<std::mutex> guard(lock);
        blocked = value;
        changed.notify_all();
    }
    bool PostRaw(uint32_t type) { return Post(new CPTZItem(type, 0, nullptr, 0), kMaxQueued); }

private:
    std::mutex lock;
    std::condition_variable changed;
    Moves items;
    bool blocked = false;
};

class TestControl : public CBasePTZControl
{
public:
    // Without `caps` no worker can be made.
    TestControl(IDriver* driver, uint32_t channel, const char* caps) : CBasePTZControl(driver, channel), caps(caps) {}
    CBasePTZComm* CreateWorker() override
    {
        if (!caps)
            return nullptr;
        return worker = new RecordingComm(GetDriver(), static_cast<uint16_t>(GetChannelIndex()), Caps(caps));
    }
    // Starts each move (all must be accepted) and returns what was queued.
    Moves Start(const Moves& moves)
    {
        for (auto [direction, speed] : moves)
            EXPECT_EQ(StartMove(direction, speed), 1) << direction << " " << speed;
        return worker->Take();
    }
    RecordingComm* worker = nullptr;
    const char* caps;
};

TEST(PTZWorker, KeepsTheNewestFourWhileTheDeviceBlocks)
{
    TestDriver driver;
    RecordingComm worker(&driver, 0, Caps("Pan=1"));
    ASSERT_TRUE(worker.Open());
    worker.Block(true);
    ASSERT_EQ(worker.StartMove(nullptr, 0, 100), 1);
    worker.Take(1);
    for (int32_t speed = 1; speed <= 5; ++speed)
        EXPECT_EQ(worker.StartMove(nullptr, 1, speed), 1);
    worker.Block(false);
    EXPECT_EQ(worker.Take(4), (Moves{{1, 2}, {1, 3}, {1, 4}, {1, 5}}));

    // A throwing item costs only itself.
    ASSERT_TRUE(worker.PostRaw(RecordingComm::kThrowingItem));
    EXPECT_EQ(worker.Take().size(), 1u);
}

TEST(PTZWorker, StartRequestsNeedTheirCapabilityStopsDoNot)
{
    TestDriver driver;
    RecordingComm panTilt(&driver, 0, Caps("Pan=1; Tilt=1")), zoomOnly(&driver, 0, Caps("Zoom=1")),
        tiltOnly(&driver, 0, Caps("Tilt=1")), none(&driver, 0, CPtzCapabilities());
    for (RecordingComm* w : {&panTilt, &zoomOnly, &tiltOnly, &none})
        ASSERT_TRUE(w->Open());
    for (int32_t result : {panTilt.StartMove(nullptr, 8, 1), zoomOnly.StartMove(nullptr, 3, 1),
                           none.StartFocus(nullptr, true, 1), none.StartIris(nullptr, true, 1),
                           none.AreaZoom(nullptr, 1, 2, 3, 4), none.Center(nullptr, 1, 2, 3), none.Unzoom(nullptr, 1)})
        EXPECT_EQ(result, -19);
    EXPECT_EQ(zoomOnly.StartMove(nullptr, 9, 1) + tiltOnly.StartMove(nullptr, 3, 1), 2);
    EXPECT_TRUE(none.StopMoving(nullptr) && none.StopZooming(nullptr) && none.StopFocusing(nullptr));
    EXPECT_EQ(none.Take().size(), 3u);
    EXPECT_FALSE(RecordingComm(&driver, 0, Caps("Unzoom=1; Center=1; AreaZoom=1; Preset=3")).IsPTZSupported(nullptr));
    EXPECT_TRUE(driver.Texts().empty());
}

TEST(PTZWorker, ClosedOrUnstartableWorkerReports)
{
    TestDriver driver;
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
    EXPECT_EQ(driver.Texts(),
              (std::vector<std::string>{"1 velkora::CBasePTZComm::StartMove: cannot send message (1) to thread",
                                        "1 velkora::CBasePTZComm::StopZooming: cannot send message (4) to thread",
                                        "1 velkora::CBasePTZComm::Open: unable to start thread for PTZ channel 3"}));
}

TEST(PTZControl, RepeatsOfTheMoveInProgressAreNotQueued)
{
    TestDriver driver;
    TestControl control(&driver, 0, "Pan=1; Tilt=1; Zoom=1");
    ASSERT_TRUE(control.Open());
    EXPECT_EQ(control.Start({{2, 5}, {2, 5}, {2, 6}}), (Moves{{2, 5}}));
    EXPECT_EQ(control.Start({{2, 8}, {2, 1}, {2, 0}}), (Moves{{2, 8}, {2, 1}, {2, 0}}));
    // Far from INT32_MAX, however the sum wraps.
    EXPECT_EQ(control.Start({{2, INT32_MAX}, {2, INT32_MIN}}), (Moves{{2, INT32_MAX}, {2, INT32_MIN}}));

    // Direction 8 and 9 are the zoom slots; 10 is no direction.
    EXPECT_EQ(control.StartMove(8, 4), 1);
    EXPECT_EQ(control.StartZoomA(4) + control.StartZoomB(4), 2);
    EXPECT_EQ(control.StartMove(9, 4), 1);
    EXPECT_EQ(control.StartMove(10, 4), -3);
    EXPECT_EQ(control.worker->Take(), (Moves{{8, 4}, {9, 4}}));
}

TEST(PTZControl, StopEndsWhatIsActiveAndResetsTheRememberedMoves)
{
    TestDriver driver;
    TestControl control(&driver, 0, "Pan=1; Focus=1");
    ASSERT_TRUE(control.Open());
    EXPECT_EQ(control.Stop(), 1);
    EXPECT_EQ(control.worker->Take(), Moves{});

    EXPECT_EQ(control.StartMove(1, 3), 1);
    EXPECT_EQ(control.StartFocusB(2), 1);
    EXPECT_EQ(control.StartZoomA(2), -19);  // no zoom: refused but remembered
    EXPECT_EQ(control.StartZoomA(2), 1);
    EXPECT_EQ(control.worker->Take(), (Moves{{1, 3}, {0, 2}}));
    EXPECT_EQ(control.Stop(), 1);
    EXPECT_EQ(control.Start({{1, 3}}), (Moves{{105, 0}, {107, 0}, {1, 3}}));

    // A stop the worker refuses stays pending and is retried by the next Stop.
    control.worker->Close();
    EXPECT_EQ(control.Stop(), -18);
    ASSERT_TRUE(control.worker->Open());
    EXPECT_EQ(control.Stop(), 1);
    EXPECT_EQ(control.worker->Take(), (Moves{{105, 0}}));
}

TEST(PTZControl, ResultCodes)
{
    TestDriver driver;
    TestControl broken(&driver, 0, nullptr);
    EXPECT_FALSE(broken.Open());
    PTZ_CAPABILITIES record{};
    for (int32_t result : {broken.IsPTZSupported(), broken.StartMove(0, 1), broken.Stop(), broken.StartZoomB(1),
                           broken.StartIrisB(1), broken.Center(1, 2, 3), broken.GetCapabilities(&record)})
        EXPECT_EQ(result, -18);
    EXPECT_EQ(broken.IsSuccess(1), 1);
    EXPECT_EQ(broken.IsSuccess(-18), 0);
    EXPECT_EQ(broken.IsSuccess(0), 0);

    TestControl control(&driver, 4, "Pan=1; Preset=5");
    ASSERT_TRUE(control.Open());
    EXPECT_EQ(control.GetCapabilities(nullptr), -3);
    EXPECT_EQ(control.GetCapabilities(&record), 1);
    EXPECT_EQ(record.pan, 1u);
    EXPECT_EQ(record.presetCount, 0u);  // the host never sees presets
}

}  // namespace
}  // namespace velkora
