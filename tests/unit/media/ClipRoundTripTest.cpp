// A real H.264 clip, encoded by libx264 at test time, packetized as a camera would send
// it and reassembled: every access unit must come back byte for byte (without AUD and
// SEI, parameter sets in front of IDR slices, with the trailer), and decode identically.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "media/CH264RTPMediaParser.h"
#include "media/FrameSizeClass.h"
#include "unit/media/FakeHost.h"
#include "unit/media/H264TestStream.h"

using namespace mediatest;
namespace fs = std::filesystem;

namespace {

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

int RunShell(const std::string& command) { return std::system(command.c_str()); }

// Per-frame MD5 lines of the decoded pictures (header comments dropped).
std::vector<std::string> DecodedFrameHashes(const fs::path& stream, const fs::path& out) {
    if (RunShell("ffmpeg -nostdin -hide_banner -loglevel fatal -y -i '" + stream.string() + "' -f framemd5 '" +
            out.string() + "'") != 0)
        return {};
    std::vector<std::string> lines;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        // "stream, dts, pts, duration, size, md5": keep size and hash, timing is synthetic.
        lines.push_back(line.substr(line.rfind(',', line.rfind(',') - 1)));
    }
    return lines;
}

// What the depacketizer must make of one access unit of the clip.
Bytes ExpectedFrame(const std::vector<Bytes>& unit, const Bytes& sps, const Bytes& pps) {
    Bytes out;
    for (const Bytes& nal : unit) {
        const int type = nal[0] & 0x1f;
        if (type == 6 || type == 7 || type == 8 || type == 9) continue;
        if (type == 5 && out.empty()) out = Cat({StartCode3(), sps, StartCode3(), pps});
        out = Cat({out, StartCode3(), nal});
    }
    return Cat({out, Bytes{0, 0, 0, 1, 9}});
}

class ClipRoundTrip : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() / ("hq_media_clip_" + std::to_string(getpid())));
        fs::create_directories(*dir_);
        // Two slices per picture, B-frames, an IDR every 10 pictures, a delimiter before each
        // access unit and the parameter sets before each IDR.
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25 "
            "-frames:v 30 -c:v libx264 -preset veryfast -g 10 "
            "-x264-params aud=1:repeat-headers=1:slices=2 -f h264 '" +
            (*dir_ / "clip.h264").string() + "'";
        ASSERT_EQ(RunShell(command), 0) << "ffmpeg with libx264 is needed";
        clip_ = new Bytes(ReadFile(*dir_ / "clip.h264"));
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
        delete clip_;
    }

    // Feeds the whole clip; returns the delivered frames.
    std::vector<FrameRecord> Reassemble(Packetizer::Mode mode) {
        FakeDriver driver;
        FakeFrameFactory factory;
        FakeClient client;
        driver.factory = &factory;
        velkora::CH264RTPMediaParser parser(&driver);
        parser.SetClient(&client);
        Packetizer packetizer(mode, 1400, 65500);  // crosses the sequence wrap
        uint32_t timestamp = 90000;
        for (const auto& unit : GroupByDelimiter(SplitAnnexB(*clip_))) {
            for (const Bytes& datagram : packetizer.Packetize(unit, timestamp)) {
                velkora::CRTPPacket packet;
                EXPECT_TRUE(packet.Parse(datagram.data(), datagram.size()));
                EXPECT_LE(datagram.size(), 1400u + 12u);
                parser.ProcessPacket(packet);
            }
            timestamp += 3600;
        }
        EXPECT_EQ(factory.created, factory.released);
        return client.frames;
    }

    static fs::path* dir_;
    static Bytes* clip_;
};

fs::path* ClipRoundTrip::dir_ = nullptr;
Bytes* ClipRoundTrip::clip_ = nullptr;

void ExpectFramesMatchClip(const std::vector<FrameRecord>& frames, const std::vector<std::vector<Bytes>>& units,
                           size_t firstUnit) {
    ASSERT_EQ(frames.size(), units.size() - firstUnit);
    Bytes sps, pps;
    for (size_t u = 0; u < units.size(); ++u) {
        for (const Bytes& nal : units[u]) {
            if ((nal[0] & 0x1f) == 7) sps = nal;
            if ((nal[0] & 0x1f) == 8) pps = nal;
        }
        if (u < firstUnit) continue;
        const FrameRecord& frame = frames[u - firstUnit];
        SCOPED_TRACE("access unit " + std::to_string(u));
        ASSERT_EQ(frame.data, ExpectedFrame(units[u], sps, pps));
        bool idr = false;
        for (const Bytes& nal : units[u]) idr = idr || (nal[0] & 0x1f) == 5;
        EXPECT_EQ(frame.type, idr ? velkora::kFrameTypeH264 : velkora::kFrameTypeI264);
        EXPECT_EQ(frame.width, 640);
        EXPECT_EQ(frame.height, 360);  // 23 macroblock rows cropped by 8 lines
        EXPECT_EQ(frame.sizeClass, 4u);
    }
}

}  // namespace

TEST_F(ClipRoundTrip, SingleNalUnitsAndFragmentsDecodeLikeTheClip) {
    const auto units = GroupByDelimiter(SplitAnnexB(*clip_));
    ASSERT_EQ(units.size(), 30u);
    const std::vector<FrameRecord> frames = Reassemble(Packetizer::Mode::SingleNal);
    ExpectFramesMatchClip(frames, units, 0);

    Bytes stream;
    for (const FrameRecord& f : frames) stream = Cat({stream, f.data});
    WriteFile(*dir_ / "reassembled.h264", stream);
    const auto original = DecodedFrameHashes(*dir_ / "clip.h264", *dir_ / "clip.md5");
    const auto reassembled = DecodedFrameHashes(*dir_ / "reassembled.h264", *dir_ / "reassembled.md5");
    ASSERT_EQ(original.size(), 30u);
    EXPECT_EQ(reassembled, original);
}

TEST_F(ClipRoundTrip, AggregatedParameterSetsWaitForTheSecondIdr) {
    const auto units = GroupByDelimiter(SplitAnnexB(*clip_));
    // With SPS/PPS only inside STAP-A, the first IDR (fragmented) follows a reset without
    // in-band single-NAL parameter sets and is not given them; delivery starts at the next IDR.
    size_t secondIdr = 0;
    for (size_t u = 1; u < units.size() && secondIdr == 0; ++u)
        for (const Bytes& nal : units[u])
            if ((nal[0] & 0x1f) == 5) secondIdr = u;
    ASSERT_GT(secondIdr, 0u);
    ExpectFramesMatchClip(Reassemble(Packetizer::Mode::StapA), units, secondIdr);
}
