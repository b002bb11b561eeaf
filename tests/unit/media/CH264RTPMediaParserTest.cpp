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

namespace {

const Bytes kSps{0x67, 0x42, 0x00, 0x1f, 0xda, 0x05, 0x82, 0x59};  // 352 x 288
const Bytes kPps{0x68, 0xce, 0x3c, 0x80};
const Bytes kIdr{0x65, 0x88, 0x84, 0x00, 0x33, 0xff};
const Bytes kSlice{0x41, 0x9a, 0x02, 0x03};
const Bytes kSei{0x06, 0x05, 0x01, 0x80};

// What the host must receive: 3-byte start codes and the 00 00 00 01 09 trailer.
Bytes AnnexB(std::initializer_list<Bytes> nals) {
    Bytes out;
    for (const Bytes& n : nals) out = Cat({out, kStartCode, n});
    return Cat({out, {0, 0, 0, 1, 9}});
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

// Size and MD5 of every decoded picture.
std::vector<std::string> DecodedPictures(const std::filesystem::path& stream) {
    const std::filesystem::path md5 = stream.string() + ".md5";
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
        while (k + 1 < starts.size() && end > starts[k] && s[end - 1] == 0) --end;  // 4-byte start codes
        if ((s[starts[k]] & 0x1f) == 9 || units.empty()) units.emplace_back();
        units.back().emplace_back(s.begin() + starts[k], s.begin() + end);
    }
    return units;
}

Bytes BigNal(uint8_t header, size_t size) { return Cat({{header}, Bytes(size - 1, 0x5a)}); }

class H264Depacketizer : public ::testing::Test {
protected:
    H264Depacketizer() : parser(&driver) {
        driver.factory = &factory;
        parser.SetClient(&client);
    }
    // Consecutive packets of one access unit, the marker on the last.
    void SendUnit(const std::vector<Bytes>& payloads, uint32_t ts = 9000) {
        for (size_t i = 0; i < payloads.size(); ++i) Send(payloads[i], ts, i + 1 == payloads.size());
    }
    void Send(const Bytes& payload, uint32_t ts, bool marker) {
        parser.ProcessPacket(MakePacket(sequence++, ts, marker, payload));
    }
    std::vector<host::ReceivedFrame> Frames() { return client.sink.Frames(); }

    TestDriver driver;
    host::FrameFactory factory;
    FakeClient client;
    velkora::CH264RTPMediaParser parser;
    uint16_t sequence = 100;
};

}  // namespace

TEST_F(H264Depacketizer, ParameterSetsFromSdpOrInBandGoInFrontOfIdrSlices) {
    SendUnit({kSlice});  // nothing known: waiting for an SPS, dropped
    SendUnit({kIdr});
    parser.SetParameterSets(kSps, kPps, {});
    SendUnit({{0x09, 0xf0}, kSei, kIdr}, 3456);  // delimiter and SEI are left out
    SendUnit({kSlice});
    SendUnit({kSps, kPps, kIdr});                 // single NAL units
    SendUnit({StapA({kSps, kPps, kSei, kIdr})});  // aggregated
    SendUnit({StapA({kSlice, kSlice})});          // two slices of one picture
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].data, AnnexB({kSps, kPps, kIdr}));
    EXPECT_EQ(frames[0].frameType, velkora::kFrameTypeH264);
    EXPECT_EQ(frames[0].sourceName, "Harnoquistel (Live)");
    EXPECT_EQ(frames[0].width * 10000 + frames[0].height, 352 * 10000 + 288);
    EXPECT_EQ(frames[0].sizeClass, 2u);
    EXPECT_EQ(frames[0].time.wMilliseconds, 456);  // stamped from RTP time 3456
    EXPECT_EQ(frames[1].data, AnnexB({kSlice}));
    EXPECT_EQ(frames[1].frameType, velkora::kFrameTypeI264);
    EXPECT_EQ(frames[1].width, 352);
    EXPECT_EQ(frames[2].data, frames[0].data);
    EXPECT_EQ(frames[3].data, frames[0].data);
    EXPECT_EQ(frames[4].data, AnnexB({kSlice, kSlice}));
    EXPECT_EQ(factory.Outstanding(), 0);
}

TEST_F(H264Depacketizer, FragmentedIdrAfterAReset) {
    const Bytes idr = BigNal(0x65, 5000);
    parser.SetParameterSets(kSps, kPps, {});
    // Right after a reset a fragmented IDR is not given the parameter sets: no SPS, dropped.
    SendUnit(FragmentFuA(idr, 1398));
    EXPECT_TRUE(Frames().empty());
    SendUnit(FragmentFuA(idr, 1398));  // after a marker it is
    // In-band single-NAL SPS/PPS also end the reset state.
    parser.Reset();
    Send(kSps, 9000, false);
    Send(kPps, 9000, false);
    SendUnit(FragmentFuA(idr, 700));
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].data, AnnexB({kSps, kPps, idr}));
    EXPECT_EQ(frames[1].data, frames[0].data);
}

TEST_F(H264Depacketizer, MalformedAndUnsupportedPayloadsReset) {
    // STAP-B, FU-B, type 0, a STAP-A unit longer than the packet, a one-byte NAL unit
    const Bytes cases[] = {{0x79, 0, 2, 0x41, 0}, {0x7d, 0x85, 0, 0x11}, {0, 0x11}, {0x78, 0, 9, 0x41, 0}, {0x41}};
    for (const Bytes& bad : cases) {
        parser.SetParameterSets(kSps, kPps, {});
        SendUnit({kIdr});
        Send(kSlice, 2000, false);
        Send(bad, 2000, true);
        EXPECT_TRUE(parser.IsWaitingForSps());
    }
    EXPECT_EQ(Frames().size(), std::size(cases));  // only the IDRs
}

TEST_F(H264Depacketizer, OverflowBeyondTenMegabytesIsLoggedAndDropped) {
    parser.SetParameterSets(kSps, kPps, {});
    SendUnit({kIdr});
    Bytes fragment = BigNal(0x5c, 60000);  // FU-A continuation of a slice
    fragment[1] = 0x01;
    for (size_t i = 0; i < 10 * 1024 * 1024 / 59998 + 2; ++i) Send(fragment, 2000, false);
    Send(fragment, 2000, true);
    EXPECT_EQ(Frames().size(), 1u);
    EXPECT_EQ(driver.Texts(), std::vector<std::string>{"1 velkora::CRTPMediaParser::CheckBufferSize: Frame buffer "
                                                       "overflow detected, device 10.0.0.5:80"});
}

TEST_F(H264Depacketizer, HostThatRefusesFrames) {
    struct EmptyFrames : host::FrameFactory {
        velkora::ipcapture::IHostFrame* CreateFrame(uint32_t type, uint32_t, const char* name) override {
            return host::FrameFactory::CreateFrame(type, 0, name);  // no memory behind it
        }
    } emptyFrames;
    host::FrameFactory refusing(0);
    parser.SetParameterSets(kSps, kPps, {});
    driver.factory = &refusing;  // no frame object: dropped silently
    SendUnit({kIdr});
    driver.factory = &emptyFrames;  // a frame too small for the unit: logged, parser reset
    SendUnit({kIdr});
    EXPECT_TRUE(parser.IsWaitingForSps());
    EXPECT_EQ(driver.Texts(), std::vector<std::string>{"1 velkora::CH264RTPMediaParser::ProcessFrame: Data copying "
                                                       "error, device 10.0.0.5:80"});
    driver.factory = &factory;
    client.sink.SetAccepting(false);  // delivery refused: reset, so the next slice is dropped
    parser.SetParameterSets(kSps, kPps, {});
    SendUnit({kIdr});
    client.sink.SetAccepting(true);
    SendUnit({kSlice});
    driver.factory = nullptr;  // no factory at all
    SendUnit({kSps, kPps, kIdr});
    EXPECT_TRUE(Frames().empty());
    EXPECT_EQ(factory.Outstanding() + emptyFrames.Outstanding(), 0);
}

// A real clip, encoded by libx264 at test time, packetized as a camera sends it and
// reassembled: every access unit comes back byte for byte (without AUD and SEI, parameter
// sets in front of IDR slices, with the trailer) and decodes to the same pictures.
TEST_F(H264Depacketizer, RealClipComesBackByteForByteAndDecodesLikeTheClip) {
    const auto dir = std::filesystem::temp_directory_path() / ("hq_media_clip_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
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
    sequence = 65500;
    uint32_t timestamp = 90000;
    for (const auto& unit : units) {
        std::vector<Bytes> payloads;
        for (const Bytes& nal : unit)
            for (const Bytes& p : nal.size() > 1400 ? FragmentFuA(nal, 1398) : std::vector<Bytes>{nal})
                payloads.push_back(p);
        SendUnit(payloads, timestamp += 3600);
    }
    EXPECT_EQ(factory.Outstanding(), 0);
    const auto frames = Frames();
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
    std::filesystem::remove_all(dir);
}
