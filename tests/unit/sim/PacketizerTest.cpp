#include "sim/Clip.h"
#include "sim/H264Packetizer.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

Bytes Nal(std::uint8_t header, std::size_t size)
{
    Bytes nal(size, 0xAB);
    nal[0] = header;
    return nal;
}

// Undoes RFC 6184 mode 1 the plain way, to show that nothing is lost or reordered.
std::vector<Bytes> Reassemble(const std::vector<Bytes>& payloads)
{
    std::vector<Bytes> nals;
    Bytes fragment;
    for (const auto& p : payloads) {
        const unsigned type = p[0] & 0x1F;
        if (type == 24) {
            for (std::size_t i = 1; i + 2 <= p.size(); i += 2 + ((p[i] << 8) | p[i + 1]))
                nals.emplace_back(p.begin() + static_cast<long>(i + 2),
                                  p.begin() + static_cast<long>(i + 2 + ((p[i] << 8) | p[i + 1])));
        } else if (type == 28) {
            if (p[1] & 0x80)
                fragment = {static_cast<std::uint8_t>((p[0] & 0xE0) | (p[1] & 0x1F))};
            fragment.insert(fragment.end(), p.begin() + 2, p.end());
            if (p[1] & 0x40)
                nals.push_back(fragment);
        } else {
            nals.push_back(p);
        }
    }
    return nals;
}

TEST(H264Packetizer, ChoosesPacketKindBySizeAndType)
{
    struct Case {
        const char* name;
        std::vector<Bytes> nals;
        std::vector<unsigned> types;  // payload NAL types expected
    } cases[] = {
        {"parameter sets share a STAP-A", {Nal(0x67, 20), Nal(0x68, 4), Nal(0x65, 100)}, {24, 5}},
        {"a lone PPS travels alone", {Nal(0x68, 4), Nal(0x41, 50)}, {8, 1}},
        {"exactly the MTU is not fragmented", {Nal(0x41, 1400)}, {1}},
        {"one byte above the MTU gives two fragments", {Nal(0x41, 1401)}, {28, 28}},
        {"a large IDR slice is cut into FU-A", {Nal(0x65, 5000)}, {28, 28, 28, 28}},
    };
    for (const auto& c : cases) {
        const auto payloads = PacketizeAccessUnit(AccessUnit{c.nals, false}, 1400);
        std::vector<unsigned> types;
        for (const auto& p : payloads) {
            EXPECT_LE(p.size(), 1400u) << c.name;
            types.push_back(p[0] & 0x1F);
        }
        EXPECT_EQ(types, c.types) << c.name;
        EXPECT_EQ(Reassemble(payloads), c.nals) << c.name;
    }
    // FU indicator keeps the NRI; the FU header marks start and end.
    const auto fu = PacketizeAccessUnit(AccessUnit{{Nal(0x65, 3000)}, true}, 1400);
    ASSERT_EQ(fu.size(), 3u);
    EXPECT_EQ((std::vector<int>{fu[0][0], fu[0][1], fu[1][0], fu[1][1], fu[2][0], fu[2][1]}),
              (std::vector<int>{0x7C, 0x85, 0x7C, 0x05, 0x7C, 0x45}));
}

TEST(H264Packetizer, EveryBundledClipSurvivesTheRoundTrip)
{
    ClipLibrary clips;
    std::string error;
    ASSERT_TRUE(clips.Load(BundledClipsDirectory(), &error)) << error;
    for (const auto& [w, h] : clips.Sizes()) {
        for (const auto& au : clips.Find(w, h)->frames) {
            const auto payloads = PacketizeAccessUnit(au);
            ASSERT_EQ(Reassemble(payloads), au.nalUnits) << w << "x" << h;
            EXPECT_TRUE(!au.idr || (payloads.front()[0] & 0x1F) == 24) << "IDR pictures lead with their SPS/PPS";
        }
    }
}

TEST(RtpPacket, FixedHeaderFields)
{
    EXPECT_EQ(MakeRtpPacket(96, true, 0xBEEF, 0x01020304, 0xA1B2C3D4, {0x65, 1}),
              (Bytes{0x80, 0xE0, 0xBE, 0xEF, 1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4, 0x65, 1}));
    EXPECT_FALSE(MakeRtpPacket(96, false, 0, 0, 0, {})[1] & 0x80);
}

}  // namespace
}  // namespace sim
