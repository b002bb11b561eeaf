#include <gtest/gtest.h>

#include "media/CH264RTPMediaParser.h"
#include "media/FrameSizeClass.h"
#include "unit/media/FakeHost.h"
#include "unit/media/H264TestStream.h"

using namespace mediatest;
using velkora::CH264RTPMediaParser;
using velkora::kFrameTypeH264;
using velkora::kFrameTypeI264;

namespace {

const Bytes kTrailer{0, 0, 0, 1, 9};

Bytes Sps() {
    SpsFields f;
    f.widthMbs = 22;
    f.heightUnits = 18;  // 352 x 288
    return BuildSps(f);
}
const Bytes kPps{0x68, 0xce, 0x3c, 0x80};
const Bytes kIdr{0x65, 0x88, 0x84, 0x00, 0x33, 0xff};
const Bytes kSlice{0x41, 0x9a, 0x02, 0x03};
const Bytes kSei{0x06, 0x05, 0x01, 0x80};
const Bytes kAud{0x09, 0xf0};

Bytes Annexb(std::initializer_list<Bytes> nals) {
    Bytes out;
    for (const Bytes& n : nals) out = Cat({out, StartCode3(), n});
    return Cat({out, kTrailer});
}

Bytes StapA(std::initializer_list<Bytes> nals) {
    Bytes out{0x78};
    for (const Bytes& n : nals)
        out = Cat({out, Bytes{static_cast<uint8_t>(n.size() >> 8), static_cast<uint8_t>(n.size())}, n});
    return out;
}

// Fragments of a NAL unit in FU-A packets of `chunk` bytes.
std::vector<Bytes> FuA(const Bytes& nal, size_t chunk) {
    std::vector<Bytes> out;
    for (size_t offset = 1; offset < nal.size(); offset += chunk) {
        const size_t n = std::min(chunk, nal.size() - offset);
        Bytes fu{static_cast<uint8_t>((nal[0] & 0xe0) | 28), static_cast<uint8_t>(nal[0] & 0x1f)};
        if (offset == 1) fu[1] |= 0x80;
        if (offset + n == nal.size()) fu[1] |= 0x40;
        fu.insert(fu.end(), nal.begin() + offset, nal.begin() + offset + n);
        out.push_back(fu);
    }
    return out;
}

class H264Depacketizer : public ::testing::Test {
protected:
    H264Depacketizer() : parser(&driver) {
        driver.factory = &factory;
        parser.SetClient(&client);
    }

    // Sends payloads as consecutive packets of one access unit (marker on the last).
    void SendUnit(const std::vector<Bytes>& payloads, uint32_t timestamp) {
        for (size_t i = 0; i < payloads.size(); ++i)
            Send(payloads[i], timestamp, i + 1 == payloads.size());
    }
    void Send(const Bytes& payload, uint32_t timestamp, bool marker) {
        parser.ProcessPacket(MakePacket(sequence++, timestamp, marker, payload));
    }
    void SetSdpParameterSets() { parser.SetParameterSets(Sps(), kPps, {}); }

    FakeDriver driver;
    FakeFrameFactory factory;
    FakeClient client;
    CH264RTPMediaParser parser;
    uint16_t sequence = 100;
};

}  // namespace

TEST_F(H264Depacketizer, SingleNalUnitsWithSdpParameterSets) {
    SetSdpParameterSets();
    EXPECT_EQ(parser.GetWidth(), 352);
    SendUnit({kAud, kSei, kIdr}, 3456);
    SendUnit({kSlice}, 6000);
    ASSERT_EQ(client.frames.size(), 2u);
    const FrameRecord& key = client.frames[0];
    EXPECT_EQ(key.data, Annexb({Sps(), kPps, kIdr}));
    EXPECT_EQ(key.type, kFrameTypeH264);
    EXPECT_EQ(key.dataSize, key.data.size());
    EXPECT_EQ(key.requestedSize, key.data.size());
    EXPECT_EQ(key.sourceName, "Harnoquistel (Live)");
    EXPECT_EQ(key.width, 352);
    EXPECT_EQ(key.height, 288);
    EXPECT_EQ(key.sizeClass, 2u);
    EXPECT_EQ(key.time.wMilliseconds, 456);  // the client stamped RTP time 3456
    const FrameRecord& delta = client.frames[1];
    EXPECT_EQ(delta.data, Annexb({kSlice}));
    EXPECT_EQ(delta.type, kFrameTypeI264);
    EXPECT_EQ(delta.width, 352);
    EXPECT_EQ(factory.created, factory.released);
}

TEST_F(H264Depacketizer, NoFramesUntilOneCarriesAnSps) {
    SendUnit({kSlice}, 1000);  // nothing known yet: dropped
    SendUnit({kIdr}, 2000);    // IDR without parameter sets anywhere: dropped
    EXPECT_TRUE(client.frames.empty());
    EXPECT_TRUE(parser.IsWaitingForSps());
    // In-band SPS/PPS as single NAL units precede the IDR.
    SendUnit({Sps(), kPps, kIdr}, 3000);
    SendUnit({kSlice}, 4000);
    ASSERT_EQ(client.frames.size(), 2u);
    EXPECT_EQ(client.frames[0].data, Annexb({Sps(), kPps, kIdr}));
    EXPECT_EQ(client.frames[1].type, kFrameTypeI264);
}

TEST_F(H264Depacketizer, StapAWithParameterSetsAndIdr) {
    SendUnit({StapA({Sps(), kPps, kSei, kIdr})}, 1000);
    ASSERT_EQ(client.frames.size(), 1u);
    EXPECT_EQ(client.frames[0].data, Annexb({Sps(), kPps, kIdr}));
    EXPECT_EQ(client.frames[0].type, kFrameTypeH264);
    // Two slices of one picture in one STAP-A.
    SendUnit({StapA({kSlice, kSlice})}, 2000);
    ASSERT_EQ(client.frames.size(), 2u);
    EXPECT_EQ(client.frames[1].data, Annexb({kSlice, kSlice}));
}

TEST_F(H264Depacketizer, FragmentedIdr) {
    Bytes bigIdr(5000, 0x5a);
    bigIdr[0] = 0x65;
    SetSdpParameterSets();
    // Right after a reset an FU-A IDR gets no parameter sets: the unit has no SPS, dropped.
    SendUnit(FuA(bigIdr, 1398), 1000);
    EXPECT_TRUE(client.frames.empty());
    // After a marker it does.
    SendUnit(FuA(bigIdr, 1398), 2000);
    ASSERT_EQ(client.frames.size(), 1u);
    EXPECT_EQ(client.frames[0].data, Annexb({Sps(), kPps, bigIdr}));
    // In-band SPS/PPS also clear the reset state for the IDR that follows.
    parser.Reset();
    Send(Sps(), 3000, false);
    Send(kPps, 3000, false);
    SendUnit(FuA(bigIdr, 700), 3000);
    ASSERT_EQ(client.frames.size(), 2u);
    EXPECT_EQ(client.frames[1].data, Annexb({Sps(), kPps, bigIdr}));
}

TEST_F(H264Depacketizer, SequenceGapsAndDuplicatesDropThePartialUnit) {
    SetSdpParameterSets();
    SendUnit({kIdr}, 1000);
    ASSERT_EQ(client.frames.size(), 1u);

    Bytes bigSlice(3000, 0x21);
    bigSlice[0] = 0x41;
    std::vector<Bytes> fragments = FuA(bigSlice, 1000);
    Send(fragments[0], 2000, false);
    ++sequence;  // one packet lost
    Send(fragments[2], 2000, true);
    EXPECT_EQ(client.frames.size(), 1u);
    EXPECT_TRUE(parser.IsWaitingForSps());

    // The stream resumes with the next IDR; a duplicate packet counts as a gap as well.
    SendUnit({kIdr}, 3000);  // FU-less IDR: parameter sets put in front
    ASSERT_EQ(client.frames.size(), 2u);
    --sequence;
    SendUnit({kSlice}, 4000);
    EXPECT_EQ(client.frames.size(), 2u);

    // 65535 -> 0 is consecutive.
    sequence = 65535;
    SendUnit({kIdr}, 5000);
    SendUnit({kSlice}, 6000);
    ASSERT_EQ(client.frames.size(), 4u);
    EXPECT_EQ(client.frames[3].data, Annexb({kSlice}));
}

TEST_F(H264Depacketizer, MalformedAndUnsupportedPayloadsReset) {
    const Bytes stapB{0x79, 0x00, 0x00, 0x00, 0x02, 0x41, 0x00};
    const Bytes fuB{0x7d, 0x85, 0x00, 0x00, 0x11};
    const Bytes typeZero{0x00, 0x11};
    const Bytes stapOverrun{0x78, 0x00, 0x09, 0x41, 0x00};
    const Bytes oneByteNal{0x41};
    for (const Bytes& bad : {stapB, fuB, typeZero, stapOverrun, oneByteNal}) {
        SCOPED_TRACE(static_cast<int>(bad[0]));
        SetSdpParameterSets();
        SendUnit({kIdr}, 1000);
        client.frames.clear();
        Send(kSlice, 2000, false);
        Send(bad, 2000, true);
        EXPECT_TRUE(client.frames.empty());
        EXPECT_TRUE(parser.IsWaitingForSps());
    }
    // An empty payload is an unrecognised kind too.
    SetSdpParameterSets();
    SendUnit({kIdr}, 1000);
    parser.ProcessPacket(MakePacket(sequence++, 2000, true, {}));
    EXPECT_TRUE(parser.IsWaitingForSps());
}

TEST_F(H264Depacketizer, OverflowBeyondTenMegabytesIsLoggedAndDropped) {
    SetSdpParameterSets();
    SendUnit({kIdr}, 1000);
    ASSERT_EQ(client.frames.size(), 1u);
    Bytes fragment(60000, 0x77);
    fragment[0] = 0x5c;  // FU-A, NRI 2
    fragment[1] = 0x01;  // non-IDR slice continuation
    const size_t packets = 10 * 1024 * 1024 / 59998 + 2;
    for (size_t i = 0; i < packets; ++i) Send(fragment, 2000, false);
    Send(fragment, 2000, true);
    EXPECT_EQ(client.frames.size(), 1u);
    ASSERT_FALSE(driver.messages.empty());
    EXPECT_EQ(driver.messages[0],
              "1 velkora::CRTPMediaParser::CheckBufferSize: Frame buffer overflow detected, device 10.1.2.3:8080");
    EXPECT_TRUE(parser.IsWaitingForSps());
}

TEST_F(H264Depacketizer, HostThatRefusesFrames) {
    SetSdpParameterSets();
    factory.refuse = true;  // no frame object: the unit is dropped silently
    SendUnit({kIdr}, 1000);
    EXPECT_TRUE(client.frames.empty());
    EXPECT_TRUE(driver.messages.empty());

    factory.refuse = false;
    factory.withoutData = true;  // a frame without memory: logged, parser reset
    SendUnit({kIdr}, 2000);
    EXPECT_TRUE(client.frames.empty());
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0],
              "1 velkora::CH264RTPMediaParser::ProcessFrame: Data copying error, device 10.1.2.3:8080");

    factory.withoutData = false;
    client.accept = false;  // the sink does not take it: reset, so the next P frame is dropped
    SetSdpParameterSets();
    SendUnit({kIdr}, 3000);
    SendUnit({kSlice}, 4000);
    EXPECT_EQ(client.frames.size(), 1u);
    EXPECT_EQ(factory.created, factory.released);

    driver.factory = nullptr;  // no factory at all
    client.accept = true;
    SendUnit({Sps(), kPps, kIdr}, 5000);
    EXPECT_EQ(client.frames.size(), 1u);
}

TEST(FrameSizeClass, ByWidthAndAspect) {
    EXPECT_EQ(velkora::GetFrameSizeClass(176, 144), 1u);
    EXPECT_EQ(velkora::GetFrameSizeClass(352, 288), 2u);
    EXPECT_EQ(velkora::GetFrameSizeClass(704, 288), 3u);
    EXPECT_EQ(velkora::GetFrameSizeClass(704, 576), 4u);
    EXPECT_EQ(velkora::GetFrameSizeClass(1280, 720), 4u);
    EXPECT_EQ(kFrameTypeH264, 0x34363248u);  // "H264" read as little-endian
}
