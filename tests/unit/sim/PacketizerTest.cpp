// Which packets carry what, within the MTU; the rest of their bytes, and that nothing is lost or
// reordered, show end to end, where the library receives the bundled clips picture for picture.
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
        std::vector<unsigned> types;
        for (const auto& p : PacketizeAccessUnit(AccessUnit{c.nals, false}, 1400)) {
            EXPECT_LE(p.size(), 1400u) << c.name;
            types.push_back(p[0] & 0x1F);
        }
        EXPECT_EQ(types, c.types) << c.name;
    }
    // The FU header marks start and end (a receiver that goes by the marker bit does not show it).
    const auto fu = PacketizeAccessUnit(AccessUnit{{Nal(0x65, 3000)}, true}, 1400);
    ASSERT_EQ(fu.size(), 3u);
    EXPECT_EQ((std::vector<int>{fu[0][1], fu[1][1], fu[2][1]}), (std::vector<int>{0x85, 0x05, 0x45}));
}

}  // namespace
}  // namespace sim
