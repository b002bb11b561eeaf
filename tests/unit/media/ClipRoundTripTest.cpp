// A real clip, encoded by libx264 at test time, packetized as a camera sends it and
// reassembled: every access unit comes back byte for byte (without AUD and SEI, parameter
// sets in front of IDR slices, with the trailer) and decodes to the same pictures.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/CH264RTPMediaParser.h"
#include "media/FrameSizeClass.h"
#include "unit/media/MediaTestSupport.h"

using namespace mediatest;
namespace fs = std::filesystem;

namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

// Size and MD5 of every decoded picture.
std::vector<std::string> DecodedPictures(const fs::path& stream) {
    const fs::path md5 = stream.string() + ".md5";
    if (Shell("ffmpeg -nostdin -loglevel fatal -y -i '" + stream.string() + "' -f framemd5 '" + md5.string() + "'"))
        return {};
    std::vector<std::string> pictures;
    std::ifstream in(md5);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') pictures.push_back(line.substr(line.rfind(',', line.rfind(',') - 1)));
    return pictures;
}

// Access units of an Annex B stream as NAL units without start codes; a delimiter starts each.
std::vector<std::vector<Bytes>> AccessUnits(const Bytes& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 2 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) starts.push_back(i += 3);
    std::vector<std::vector<Bytes>> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : s.size();
        while (k + 1 < starts.size() && s[end - 1] == 0) --end;  // 4-byte start codes
        if ((s[starts[k]] & 0x1f) == 9 || units.empty()) units.emplace_back();
        units.back().emplace_back(s.begin() + starts[k], s.begin() + end);
    }
    return units;
}

}  // namespace

TEST(ClipRoundTrip, SingleNalUnitsAndFragmentsDecodeLikeTheClip) {
    const fs::path dir = fs::temp_directory_path() / ("hq_media_clip_" + std::to_string(getpid()));
    fs::create_directories(dir);
    // Two slices per picture, B-frames, an IDR every 10 pictures, a delimiter before each
    // access unit and the parameter sets before each IDR.
    ASSERT_EQ(Shell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 30 "
                    "-c:v libx264 -preset veryfast -g 10 -x264-params aud=1:repeat-headers=1:slices=2 "
                    "-f h264 '" + (dir / "clip.h264").string() + "'"),
              0);
    std::ifstream in(dir / "clip.h264", std::ios::binary);
    const auto units = AccessUnits(Bytes(std::istreambuf_iterator<char>(in), {}));
    ASSERT_EQ(units.size(), 30u);

    // Sent from sequence 65500 (crossing the wrap), NAL units over 1400 bytes in FU-A.
    TestDriver driver;
    host::FrameFactory factory;
    FakeClient client;
    driver.factory = &factory;
    velkora::CH264RTPMediaParser parser(&driver);
    parser.SetClient(&client);
    uint16_t sequence = 65500;
    uint32_t timestamp = 90000;
    for (const auto& unit : units) {
        std::vector<Bytes> payloads;
        for (const Bytes& nal : unit)
            for (const Bytes& p : nal.size() > 1400 ? FragmentFuA(nal, 1398) : std::vector<Bytes>{nal})
                payloads.push_back(p);
        for (size_t i = 0; i < payloads.size(); ++i)
            parser.ProcessPacket(MakePacket(sequence++, timestamp, i + 1 == payloads.size(), payloads[i]));
        timestamp += 3600;
    }
    EXPECT_EQ(factory.Outstanding(), 0);
    const auto frames = client.sink.Frames();
    ASSERT_EQ(frames.size(), units.size());

    Bytes sps, pps;
    std::ofstream out(dir / "reassembled.h264", std::ios::binary);
    for (size_t u = 0; u < units.size(); ++u) {
        Bytes expected;
        bool idr = false;
        for (const Bytes& nal : units[u]) {
            const int type = nal[0] & 0x1f;
            if (type == 7) sps = nal;
            if (type == 8) pps = nal;
            if (type == 5 && !idr) expected = Cat({expected, kStartCode, sps, kStartCode, pps});
            idr = idr || type == 5;
            if (type != 6 && type != 7 && type != 8 && type != 9) expected = Cat({expected, kStartCode, nal});
        }
        SCOPED_TRACE("access unit " + std::to_string(u));
        ASSERT_EQ(frames[u].data, Cat({expected, {0, 0, 0, 1, 9}}));
        EXPECT_EQ(frames[u].frameType, idr ? velkora::kFrameTypeH264 : velkora::kFrameTypeI264);
        EXPECT_EQ(frames[u].width, 640);
        EXPECT_EQ(frames[u].height, 360);  // 23 macroblock rows cropped by 8 lines
        out.write(reinterpret_cast<const char*>(frames[u].data.data()), frames[u].data.size());
    }
    out.close();
    const auto original = DecodedPictures(dir / "clip.h264");
    ASSERT_EQ(original.size(), 30u);
    EXPECT_EQ(DecodedPictures(dir / "reassembled.h264"), original);
    fs::remove_all(dir);
}
