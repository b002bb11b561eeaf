// What record and snapshot leave on disk, judged by ffmpeg and ffprobe: the
// camera's frame rate and duration in container files, every frame of the
// clip in order, files that survive a killed recorder, segments that join up,
// and a still equal to the clip's key frame.
#include "CliFixture.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "sim/Clip.h"

namespace {

using namespace clitest;

constexpr char Size[] = "640x480";
constexpr char Fps[] = "12";

std::string ClipFile()
{
    return sim::BundledClipsDirectory() + "/" + Size + ".h264";
}

const std::vector<std::string>& ClipMd5s()
{
    static const std::vector<std::string> sums = FrameMd5s(ClipFile());
    return sums;
}

// The simulator loops the clip from the start; the driver may join it at a
// later key frame. From there every frame must follow, none missing or twice.
void ExpectClipFrames(const std::vector<std::string>& sums, size_t count)
{
    const std::vector<std::string>& clip = ClipMd5s();
    ASSERT_FALSE(clip.empty());
    ASSERT_EQ(sums.size(), count);
    const auto start = std::find(clip.begin(), clip.end(), sums.front());
    ASSERT_NE(start, clip.end()) << "the first frame is not one of the clip's";
    const size_t offset = start - clip.begin();
    for (size_t i = 0; i < sums.size(); ++i)
        ASSERT_EQ(sums[i], clip[(offset + i) % clip.size()]) << "frame " << i;
}

double Rate(const json& text)
{
    const std::string rate = text.get<std::string>();
    const size_t slash = rate.find('/');
    const double den = std::stod(rate.substr(slash + 1));
    return den > 0 ? std::stod(rate.substr(0, slash)) / den : 0;
}

class RecordingFiles : public CliCommand
{
protected:
    void SetUp() override
    {
        CliCommand::SetUp();
        device = dir / "device.json";
        ASSERT_EQ(Query({"--save", device.string()}).status, 0);
    }

    std::vector<std::string> Record(const fs::path& file, std::vector<std::string> extra) const
    {
        std::vector<std::string> args = {"record", Address(), "--device", device.string(), "--size", Size,
                                         "--fps",  Fps,       "--out",    file.string(),   "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    fs::path device;
};

TEST_F(RecordingFiles, ContainersCarryTheCamerasRateAndDuration)
{
    for (const char* name : {"five.mkv", "five.mp4"}) {
        const fs::path file = dir / name;
        const Outcome outcome = Run(Record(file, {"--duration", "5"}));
        ASSERT_EQ(outcome.status, 0) << name << outcome.err;
        const int frames = ParseJson(outcome.out)["frames"].get<int>();
        // 5 s at 12 fps by the camera's frame times; the first frame, timed on
        // arrival before the first sender report, may be a few ms off the rest.
        EXPECT_NEAR(frames, 60, 1) << name;

        const json probe = Probe(file, "-select_streams v:0 -show_entries "
                                       "stream=codec_name,width,height,r_frame_rate,avg_frame_rate:format=duration");
        const json& stream = probe["streams"][0];
        EXPECT_EQ(stream["codec_name"], "h264") << name;
        EXPECT_EQ(stream["width"], 640) << name;
        const double r = Rate(stream["r_frame_rate"]), avg = Rate(stream["avg_frame_rate"]);
        EXPECT_TRUE(std::abs(r - 12) < 0.01 || std::abs(avg - 12) < 0.01) << name << " " << stream.dump();
        EXPECT_NEAR(std::stod(probe["format"]["duration"].get<std::string>()), 5.0, 0.2) << name;
        ExpectClipFrames(FrameMd5s(file.string()), frames);
    }
}

// The recorder gets no chance to finish the file: what it flushed must play.
TEST_F(RecordingFiles, KilledRecorderLeavesAPlayableFile)
{
    for (const char* name : {"killed.mkv", "killed.mp4"}) {
        const fs::path file = dir / name;
        const pid_t pid = Spawn(Record(file, {"--duration", "0"}));
        ASSERT_GT(pid, 0);
        // The header follows the first second of frames; from then on, 4 s more.
        WaitForFile(file);
        std::this_thread::sleep_for(std::chrono::seconds(4));
        kill(pid, SIGKILL);
        EXPECT_EQ(Finish(pid).status, 128 + SIGKILL);

        const std::vector<double> times = ProbeTimes(file, "frame", "best_effort_timestamp_time");
        ASSERT_GE(times.size(), 48u) << name;  // 4 s at 12 fps
        EXPECT_GE(times.back() - times.front(), 4.0 - 1.0 / 12) << name;
        ExpectClipFrames(FrameMd5s(file.string()), times.size());
    }
}

TEST_F(RecordingFiles, SegmentsJoinWithoutAGapOrARepeat)
{
    const Outcome outcome = Run(Record(dir / "cam.mkv", {"--duration", "10", "--segment", "3"}));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json report = ParseJson(outcome.out);
    // Key frames every 25 frames of the clip: the cuts fall after 4.2 s and 8.3 s.
    ASSERT_EQ(report["files"], 3);
    EXPECT_FALSE(fs::exists(dir / "cam.mkv"));
    std::vector<std::string> joined;
    for (const char* name : {"cam-001.mkv", "cam-002.mkv", "cam-003.mkv"}) {
        const std::vector<std::string> sums = FrameMd5s((dir / name).string());
        EXPECT_GT(sums.size(), 12u) << name;
        joined.insert(joined.end(), sums.begin(), sums.end());
        const json start = Probe(dir / name, "-show_entries format=start_time")["format"]["start_time"];
        EXPECT_NEAR(std::stod(start.get<std::string>()), 0.0, 0.001) << name;  // each file plays on its own from 0
    }
    ExpectClipFrames(joined, report["frames"].get<size_t>());
}

// A recorder restarted with the same arguments, or pointed at the wrong name, keeps
// what is on disk; only what it made itself and left empty goes.
TEST_F(RecordingFiles, RecordingsNeverDestroyFiles)
{
    const fs::path plain = dir / "cam.h264";
    std::ofstream(plain) << "earlier";
    const Outcome refused = Run(Record(plain, {"--duration", "1"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find(plain.string() + " exists; give --overwrite"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(plain), "earlier");
    const Outcome replaced = Run(Record(plain, {"--duration", "3", "--overwrite"}));
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(ParseJson(replaced.out)["bytes"].get<uintmax_t>(), fs::file_size(plain));
    EXPECT_EQ(DecodeErrors(plain), "");  // a recording that ran its time ends on a whole picture

    // Numbering goes on after the highest file present, whatever made it.
    for (const char* earlier : {"seg-001.mkv", "seg-007.mkv"})
        std::ofstream(dir / earlier) << "earlier";
    const Outcome segments = Run(Record(dir / "seg.mkv", {"--duration", "5", "--segment", "3"}));
    ASSERT_EQ(segments.status, 0) << segments.err;
    EXPECT_EQ(ParseJson(segments.out)["paths"],
              json::array({(dir / "seg-008.mkv").string(), (dir / "seg-009.mkv").string()}));
    EXPECT_EQ(ReadFile(dir / "seg-001.mkv") + ReadFile(dir / "seg-007.mkv"), "earlierearlier");

    // No frame: a name that leads to a device stays; a file this run made goes.
    fs::create_symlink("/dev/null", dir / "null.h264");
    for (const fs::path& out : {dir / "null.h264", dir / "new.h264"}) {
        const Outcome failed = Run(Record(out, {"--duration", "1"}), {"HARNOQUISTEL_PASSWORD=wrong"});
        EXPECT_EQ(failed.status, 1) << out;
    }
    EXPECT_TRUE(fs::is_symlink(dir / "null.h264"));
    EXPECT_FALSE(fs::exists(dir / "new.h264"));
}

// The operator changes the encoder's resolution: every container file holds one size
// and plays on its own; raw Annex B carries the new parameter sets on.
TEST_F(RecordingFiles, NewPictureSizeStartsTheNextContainerFile)
{
    camera->SetFaults({*sim::ParseFault("resize=640x480@3")});
    const fs::path file = dir / "sized.mkv";
    const Outcome outcome = Run({"record", Address(), "--device", device.string(), "--size", "320x240", "--fps", Fps,
                                 "--duration", "6", "--out", file.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("size changed to 640x480: recording on in " + (dir / "sized-2.mkv").string()),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.out.find("(2 files)"), std::string::npos) << outcome.out;
    size_t frames = 0;
    for (const auto& [name, width] : {std::pair{"sized.mkv", 320}, std::pair{"sized-2.mkv", 640}}) {
        const json probe =
            Probe(dir / name,
                  "-count_frames -select_streams v:0 -show_entries stream=width,nb_read_frames:format=start_time");
        EXPECT_EQ(probe["streams"][0]["width"], width) << name;
        EXPECT_NEAR(std::stod(probe["format"]["start_time"].get<std::string>()), 0.0, 0.001) << name;
        frames += std::stoul(probe["streams"][0]["nb_read_frames"].get<std::string>());
        EXPECT_EQ(DecodeErrors(dir / name), "") << name;
    }
    EXPECT_NEAR(frames, 72, 3);

    const fs::path raw = dir / "sized.h264";
    const Outcome rawOutcome = Run({"record", Address(), "--device", device.string(), "--size", "320x240", "--fps", Fps,
                                    "--duration", "6", "--out", raw.string(), "--json"});
    ASSERT_EQ(rawOutcome.status, 0) << rawOutcome.err;
    const json report = ParseJson(rawOutcome.out);
    EXPECT_EQ(report["paths"], json::array({raw.string()}));
    EXPECT_EQ(report["width"], 640);
    EXPECT_EQ(report["bytes"].get<uintmax_t>(), fs::file_size(raw));
}

TEST_F(RecordingFiles, SnapshotIsTheClipsKeyFrame)
{
    // PNG for the exact picture: compared with ffmpeg's own decode of the clip's key frames (the
    // demo test checks a JPEG).
    const fs::path png = dir / "cam.png";
    const Outcome lossless =
        Run({"snapshot", Address(), "--device", device.string(), "--size", Size, "--out", png.string()});
    ASSERT_EQ(lossless.status, 0) << lossless.err;
    const std::vector<std::string> still = FrameMd5s(png.string(), "-pix_fmt rgb24");
    ASSERT_EQ(still.size(), 1u);
    const std::vector<std::string> keyFrames =
        FrameMd5s(ClipFile(), "-vf 'select=eq(pict_type\\,I)' -vsync 0 -pix_fmt rgb24");
    ASSERT_FALSE(keyFrames.empty());
    EXPECT_NE(std::find(keyFrames.begin(), keyFrames.end(), still[0]), keyFrames.end());

    const Outcome refused = Run(
        {"snapshot", Address(), "--device", device.string(), "--timeout", "2", "--out", (dir / "none.jpg").string()},
        {"HARNOQUISTEL_PASSWORD=wrong"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(fs::exists(dir / "none.jpg"));
}

}  // namespace
