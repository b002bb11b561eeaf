// A step of the host's wall clock in the middle of a recording (NTP, an operator): the
// command runs under libfaketime with the monotonic clock left alone, and the test
// moves the wall clock by rewriting the timestamp file.
#include "CliFixture.h"
#include "support/Faketime.h"

#include <chrono>
#include <thread>

namespace {

using namespace clitest;

TEST_F(CliCommand, RecordingTimeFollowsNoWallClockStep)
{
    const std::string faketime = FindLibFaketime();
    if (faketime.empty())
        GTEST_SKIP() << "libfaketime is not installed";
    const fs::path device = dir / "device.json";
    ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    const fs::path offsetFile = dir / "faketime";
    for (const char* step : {"+3600", "-3600"}) {
        SetFaketimeOffset(offsetFile, "+0");
        const fs::path file = dir / "step.mkv";
        const pid_t pid = Spawn({"record", Address(), "--device", device.string(), "--size", "640x480", "--fps", "12",
                                 "--duration", "14", "--out", file.string(), "--overwrite", "--json"},
                                FaketimeEnvironment(faketime, offsetFile));
        ASSERT_GT(pid, 0);
        // The header follows the first second of frames: the step comes about 5 s in.
        WaitForFile(file);
        std::this_thread::sleep_for(std::chrono::seconds(4));
        SetFaketimeOffset(offsetFile, step);
        const Outcome outcome = Finish(pid);
        ASSERT_EQ(outcome.status, 0) << step << outcome.err;
        EXPECT_NEAR(ParseJson(outcome.out)["frames"].get<int>(), 14 * 12, 5) << step;

        const std::vector<double> times = ProbeTimes(file, "packet", "pts_time");
        ASSERT_GT(times.size(), 100u) << step;
        for (size_t i = 1; i < times.size(); ++i)
            ASSERT_NEAR(times[i] - times[i - 1], 1.0 / 12, 0.03) << step << " frame " << i;
        EXPECT_NEAR(times.back() - times.front(), 14.0, 0.3) << step;
    }
}

}  // namespace
