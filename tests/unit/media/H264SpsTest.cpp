#include <gtest/gtest.h>

#include "media/H264Sps.h"
#include "unit/media/MediaTestSupport.h"

using mediatest::Bytes;
using mediatest::Cat;
using mediatest::kStartCode;

namespace {

bool Parse(const Bytes& buffer, uint16_t& width, uint16_t& height) {
    return velkora::ParseH264Sps(buffer.data(), buffer.size(), width, height);
}

const Bytes kCif{0x67, 0x42, 0x00, 0x1f, 0xda, 0x05, 0x82, 0x59};

}  // namespace

TEST(H264Sps, PictureSize) {
    struct Case {
        const char* name;
        Bytes sps;
        uint16_t width, height;  // 0: the parse fails
    };
    const Case cases[] = {
        {"baseline CIF", kCif, 352, 288},
        {"high profile with scaling lists, 1088 cropped to 1080",
         {0x67, 0x64, 0x00, 0x1f, 0xad, 0x84, 0x12, 0x49, 0x24, 0x92, 0x49, 0x24, 0x08, 0x41, 0x24, 0x92,
          0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49,
          0x24, 0x92, 0x49, 0x24, 0x92, 0x4d, 0xa0, 0x1e, 0x00, 0x89, 0xf9, 0x50},
         1920, 1080},
        {"field coding: 36 map units are 1152 lines", {0x67, 0x42, 0x00, 0x1f, 0xda, 0x02, 0xc0, 0x48, 0x48}, 704, 1152},
        // A large offset_for_non_ref_pic (poc type 1) puts 00 00 03 before the size fields.
        {"emulation prevention bytes",
         {0x67, 0x4d, 0x00, 0x1f, 0xd0, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0x0d, 0xa6,
          0x80, 0x50, 0x05, 0xb9},
         1280, 720},
        {"cut before the size fields", Bytes(kCif.begin(), kCif.begin() + 5), 0, 0},
        {"cropped below zero", {0x67, 0x42, 0x00, 0x1f, 0xda, 0x01, 0x40, 0x16, 0xf8, 0x02, 0xbd, 0xd0}, 0, 0},
        {"wider than 16 bits", {0x67, 0x42, 0x00, 0x1f, 0xda, 0x00, 0x04, 0xe2, 0x01, 0x6e, 0x40}, 0, 0},
        {"Exp-Golomb code beyond 32 bits", {0x67, 0x42, 0x00, 0x1f, 0, 0, 0, 0, 0, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t width = 0, height = 0;
        EXPECT_EQ(Parse(Cat({kStartCode, c.sps}), width, height), c.width != 0);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
}

TEST(H264Sps, SearchedWithinTheFirst64Bytes) {
    uint16_t w = 0, h = 0;
    EXPECT_TRUE(Parse(Cat({kStartCode, Bytes(57, 0x11), kStartCode, kCif}), w, h));   // start code at 60
    EXPECT_FALSE(Parse(Cat({kStartCode, Bytes(61, 0x11), kStartCode, kCif}), w, h));  // at 64
    EXPECT_FALSE(Parse(Cat({kStartCode, {0x68, 0xce, 0x3c, 0x80}}), w, h));            // a PPS only
    EXPECT_FALSE(Parse(kCif, w, h));                                                     // no start code
}
