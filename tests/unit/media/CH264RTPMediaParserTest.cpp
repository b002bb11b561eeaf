#include <gtest/gtest.h>

#include "host/Frames.h"
#include "media/CH264RTPMediaParser.h"
#include "media/FrameSizeClass.h"
#include "media/IMediaParserClient.h"
#include "sim/H264Packetizer.h"
#include "support/TestDriver.h"
#include "unit/rtp/RtpTestSupport.h"

namespace {

using rtptest::Bytes;
using rtptest::Cat;

const Bytes kStartCode{0, 0, 1};
const Bytes kSps{0x67, 0x42, 0x00, 0x1f, 0xda, 0x05, 0x82, 0x59};  // 352 x 288
const Bytes kPps{0x68, 0xce, 0x3c, 0x80};
const Bytes kIdr{0x65, 0x88, 0x84, 0x00, 0x33, 0xff};
const Bytes kSlice{0x41, 0x9a, 0x02, 0x03};
const Bytes kSei{0x06, 0x05, 0x01, 0x80};

// What the host must receive: 3-byte start codes and the 00 00 00 01 09 trailer.
Bytes AnnexB(std::initializer_list<Bytes> nals)
{
    Bytes out;
    for (const Bytes& n : nals)
        out = Cat({out, kStartCode, n});
    return Cat({out, {0, 0, 0, 1, 9}});
}

Bytes BigNal(uint8_t header, size_t size)
{
    return Cat({{header}, Bytes(size - 1, 0x5a)});
}

Bytes StapA(const std::vector<Bytes>& nals)
{
    Bytes out{0x78};
    for (const Bytes& n : nals)
        out = Cat({out, {uint8_t(n.size() >> 8), uint8_t(n.size())}, n});
    return out;
}

// The channel's part: stamps frames (milliseconds = RTP time mod 1000) and delivers them.
class FakeClient : public velkora::IMediaParserClient
{
public:
    bool OnFrame(velkora::ipcapture::IHostFrame* frame) override { return sink.DeliverFrame(frame); }
    std::pair<uint16_t, uint16_t> GetChannelPair() override { return {0, 0}; }
    const std::string& GetFrameSourceName() override { return sourceName; }
    const std::string sourceName = "Harnoquistel (Live)";
    void GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& time) override
    {
        time = SYSTEMTIME{};
        time.wMilliseconds = static_cast<uint16_t>(rtpTimestamp % 1000);
    }
    host::ChannelSink sink;
};

class H264Depacketizer : public ::testing::Test
{
protected:
    H264Depacketizer() : parser(&driver)
    {
        driver.factory = &factory;
        parser.SetClient(&client);
    }
    // Consecutive packets of one access unit, the marker on the last.
    void SendUnit(const std::vector<Bytes>& payloads, uint32_t ts = 9000)
    {
        for (size_t i = 0; i < payloads.size(); ++i)
            Send(payloads[i], ts, i + 1 == payloads.size());
    }
    void Send(const Bytes& payload, uint32_t ts, bool marker)
    {
        const Bytes d = sim::MakeRtpPacket(96, marker, sequence++, ts, 0x11223344, payload);
        velkora::CRTPPacket packet;
        ASSERT_TRUE(packet.Parse(d.data(), d.size()));
        parser.ProcessPacket(packet);
    }
    std::vector<host::ReceivedFrame> Frames() { return client.sink.Frames(); }

    TestDriver driver;
    host::FrameFactory factory;
    FakeClient client;
    velkora::CH264RTPMediaParser parser;
    uint16_t sequence = 100;
};

}  // namespace

TEST_F(H264Depacketizer, ParameterSetsFromSdpOrInBandGoInFrontOfIdrSlices)
{
    SendUnit({kSlice});  // nothing known: waiting for an SPS, dropped
    SendUnit({kIdr});
    parser.SetParameterSets(kSps, kPps, {});
    sequence = 65533;                            // the slice after this unit crosses the wrap
    SendUnit({{0x09, 0xf0}, kSei, kIdr}, 3456);  // delimiter and SEI are left out
    SendUnit({kSlice});
    SendUnit({kSps, kPps, kIdr});                 // single NAL units
    SendUnit({StapA({kSps, kPps, kSei, kIdr})});  // aggregated
    SendUnit({StapA({kSlice, kSlice})});          // two slices of one picture
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].data, AnnexB({kSps, kPps, kIdr}));
    EXPECT_EQ(frames[0].frameType, velkora::kFrameTypeH264);
    EXPECT_EQ(std::make_pair(frames[0].width, frames[0].height), (std::pair<uint16_t, uint16_t>(352, 288)));
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

TEST_F(H264Depacketizer, FragmentedIdrAfterAReset)
{
    const Bytes idr = BigNal(0x65, 5000);
    const std::vector<Bytes> fragments = sim::PacketizeAccessUnit({{idr}, false}, 1400);  // FU-A, as a camera sends it
    parser.SetParameterSets(kSps, kPps, {});
    // Right after a reset a fragmented IDR is not given the parameter sets: no SPS, dropped.
    SendUnit(fragments);
    EXPECT_TRUE(Frames().empty());
    SendUnit(fragments);  // after a marker it is
    // In-band single-NAL SPS/PPS also end the reset state.
    parser.Reset();
    Send(kSps, 9000, false);
    Send(kPps, 9000, false);
    SendUnit(fragments);
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].data, AnnexB({kSps, kPps, idr}));
    EXPECT_EQ(frames[1].data, frames[0].data);
}

TEST_F(H264Depacketizer, MalformedAndUnsupportedPayloadsReset)
{
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

TEST_F(H264Depacketizer, OverflowBeyondTenMegabytesIsLoggedAndDropped)
{
    parser.SetParameterSets(kSps, kPps, {});
    SendUnit({kIdr});
    Bytes fragment = BigNal(0x5c, 60000);  // FU-A continuation of a slice
    fragment[1] = 0x01;
    for (size_t i = 0; i < 10 * 1024 * 1024 / 59998 + 2; ++i)
        Send(fragment, 2000, false);
    Send(fragment, 2000, true);
    EXPECT_EQ(Frames().size(), 1u);
    EXPECT_EQ(driver.Texts(), std::vector<std::string>{"1 velkora::CRTPMediaParser::CheckBufferSize: Frame buffer "
                                                       "overflow detected, device 10.0.0.5:80"});
}

TEST_F(H264Depacketizer, HostThatRefusesFrames)
{
    struct EmptyFrames : host::FrameFactory {
        velkora::ipcapture::IHostFrame* CreateFrame(uint32_t type, uint32_t, const char* name) override
        {
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
