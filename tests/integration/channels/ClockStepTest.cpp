// Steps of the host's wall clock (NTP, an operator) while a stream runs. The test runs
// itself again under libfaketime, with the monotonic clock left alone, and moves the
// wall clock by rewriting the timestamp file mid-run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "SimHost.h"
#include "support/Faketime.h"
#include "support/Process.h"

using namespace channeltest;

namespace {

constexpr const char* kChildVariable = "HQ_CLOCK_STEP_CHILD";

void SetWallClockOffset(const std::string& offset)
{
    SetFaketimeOffset(std::getenv("FAKETIME_TIMESTAMP_FILE"), offset);
}

// Runs the current test in a child process under libfaketime; its exit status.
int RunUnderFaketime(const std::string& library, const std::string& timestampFile)
{
    const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
    std::vector<std::string> env = FaketimeEnvironment(library, timestampFile);
    env.push_back(std::string(kChildVariable) + "=1");
    const pid_t pid = SpawnProcess({std::filesystem::read_symlink("/proc/self/exe"),
                                    std::string("--gtest_filter=") + test.test_suite_name() + "." + test.name()},
                                   env, "LD_PRELOAD=");
    return pid > 0 ? WaitForExit(pid) : -1;
}

}  // namespace

TEST(ClockStep, WallClockStepsNeitherRestartNorHoldBackTheStream)
{
    if (std::getenv(kChildVariable) == nullptr) {
        const std::string library = FindLibFaketime();
        if (library.empty())
            GTEST_SKIP() << "libfaketime is not installed";
        const std::string timestampFile = "/tmp/hq_clock_step_" + std::to_string(getpid());
        std::ofstream(timestampFile) << "+0\n";
        const int status = RunUnderFaketime(library, timestampFile);
        std::filesystem::remove(timestampFile);
        EXPECT_EQ(status, 0) << "the run under libfaketime failed (its output is above)";
        return;
    }

    // The preload works: a step moves the wall clock and leaves the monotonic clock.
    const auto wallBefore = std::chrono::system_clock::now();
    SetWallClockOffset("+3600");
    ASSERT_GT(std::chrono::system_clock::now() - wallBefore, 3500s) << "libfaketime does not follow the file";
    SetWallClockOffset("+0");

    sim::Simulator camera(SimOptions());
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(25, 20s));
    const size_t keepAlives = CountRequests(camera, "onvif GetStreamUri");

    // An hour forward, back, another hour back and forward again, three seconds apart:
    // each step lands between two frames of the 25 fps stream.
    const size_t before = sink.FrameCount();
    for (const char* offset : {"+3600", "+0", "-3600", "+0"}) {
        SetWallClockOffset(offset);
        std::this_thread::sleep_for(3s);
    }
    EXPECT_GE(sink.FrameCount(), before + 12 * 25 * 8 / 10);
    EXPECT_EQ(CountRequests(camera, "rtsp PLAY"), 1u) << "a clock step restarted the stream";
    EXPECT_EQ(CountRequests(camera, "onvif GetStreamUri"), keepAlives) << "a clock step sent a keep-alive";
    EXPECT_EQ(sink.SignalLostCount(), 0);

    // Every frame is the clip's next one: none was lost across the steps.
    ExpectFramesFollowTheClip(sink.Frames());

    // The camera stops sending, then the clock goes back an hour: the last frame's stamp
    // lies "in the future" on the wall clock, yet the loss is reported after the stream
    // time-out (10 s) as usual.
    camera.SetFaults(Faults({"loss=1"}));
    std::this_thread::sleep_for(200ms);
    SetWallClockOffset("-3600");
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_TRUE(sink.WaitForSignalLost(1, 20s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 13s);
    SetWallClockOffset("+0");
    EXPECT_TRUE(device.CloseStream(0, 0));
}
