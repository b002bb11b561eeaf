// A step of the host's wall clock in the middle of a recording (NTP, an operator): the
// command runs under libfaketime with the monotonic clock left alone, and the test
// moves the wall clock by rewriting the timestamp file.
#include "CliFixture.h"

#include <chrono>
#include <thread>

namespace {

using namespace clitest;

std::string FindLibFaketime()
{
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1",
                             "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"})
        if (fs::exists(path))
            return path;
    return {};
}

// Replaced whole (rename), so that the preloaded library never reads half a line.
void SetOffset(const fs::path& file, const std::string& offset)
{
    std::ofstream(file.string() + ".new") << offset << "\n";
    fs::rename(file.string() + ".new", file);
}

TEST_F(CliCommand, RecordingTimeFollowsNoWallClockStep)
{
    const std::string faketime = FindLibFaketime();
    if (faketime.empty())
        GTEST_SKIP() << "libfaketime is not installed";
    const fs::path device = dir / "device.json";
    ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    const fs::path offsetFile = dir / "faketime";
    for (const char* step : {"+3600", "-3600"}) {
        SetOffset(offsetFile, "+0");
        const fs::path file = dir / "step.mkv";
        const pid_t pid = Spawn({"record", Address(), "--device", device.string(), "--size", "640x480", "--fps", "12",
                                 "--duration", "14", "--out", file.string(), "--overwrite", "--json"},
                                {"LD_PRELOAD=" + faketime, "FAKETIME_TIMESTAMP_FILE=" + offsetFile.string(),
                                 "FAKETIME_NO_CACHE=1", "DONT_FAKE_MONOTONIC=1"});
        ASSERT_GT(pid, 0);
        // The header follows the first second of frames: the step comes about 5 s in.
        auto written = [&] {
            std::error_code error;
            return fs::file_size(file, error) > 0 && !error;
        };
        for (int i = 0; i < 300 && !written(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::seconds(4));
        SetOffset(offsetFile, step);
        const Outcome outcome = Finish(pid);
        ASSERT_EQ(outcome.status, 0) << step << outcome.err;
        EXPECT_NEAR(ParseJson(outcome.out)["frames"].get<int>(), 14 * 12, 5) << step;

        std::string text;
        ASSERT_EQ(Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 '" +
                            file.string() + "'",
                        &text),
                  0)
            << text;
        std::vector<double> times;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty())
                times.push_back(std::stod(line));
        ASSERT_GT(times.size(), 100u) << step;
        for (size_t i = 1; i < times.size(); ++i)
            ASSERT_NEAR(times[i] - times[i - 1], 1.0 / 12, 0.03) << step << " frame " << i;
        EXPECT_NEAR(times.back() - times.front(), 14.0, 0.3) << step;
    }
}

}  // namespace
