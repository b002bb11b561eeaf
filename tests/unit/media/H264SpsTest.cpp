#include <gtest/gtest.h>

#include "media/H264Sps.h"
#include "unit/rtp/RtpTestSupport.h"

using rtptest::Bytes;
using rtptest::Cat;

static const Bytes kStartCode{0, 0, 1};

TEST(H264Sps, PictureSizeAndWhereTheSpsIsSearched)
{
    const Bytes cif{0x67, 0x42, 0x00, 0x1f, 0xda, 0x05, 0x82, 0x59};
    const struct {
        const char* name;
        Bytes buffer;
        uint16_t width, height;  // 0: the parse fails
    } cases[] = {
        {"high profile with scaling lists, 1088 cropped to 1080",
         Cat({kStartCode, {0x67, 0x64, 0x00, 0x1f, 0xad, 0x84, 0x12, 0x49, 0x24, 0x92, 0x49, 0x24, 0x08, 0x41, 0x24,
                           0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x49, 0x24,
                           0x92, 0x49, 0x24, 0x92, 0x49, 0x24, 0x92, 0x4d, 0xa0, 0x1e, 0x00, 0x89, 0xf9, 0x50}}),
         1920, 1080},
        {"field coding: 36 map units are 1152 lines",
         Cat({kStartCode, {0x67, 0x42, 0, 0x1f, 0xda, 2, 0xc0, 0x48, 0x48}}), 704, 1152},
        // A large offset_for_non_ref_pic (poc type 1) puts 00 00 03 before the size fields.
        {"emulation prevention bytes", Cat({kStartCode, {0x67, 0x4d, 0x00, 0x1f, 0xd0, 0x00, 0x00, 0x03, 0x00, 0x04,
                                                         0x00, 0x00, 0x03, 0x00, 0x0d, 0xa6, 0x80, 0x50, 0x05, 0xb9}}),
         1280, 720},
        {"cut before the size fields", Cat({kStartCode, Bytes(cif.begin(), cif.begin() + 5)}), 0, 0},
        {"cropped below zero", Cat({kStartCode, {0x67, 0x42, 0, 0x1f, 0xda, 1, 0x40, 0x16, 0xf8, 2, 0xbd, 0xd0}}), 0,
         0},
        {"wider than 16 bits", Cat({kStartCode, {0x67, 0x42, 0x00, 0x1f, 0xda, 0x00, 0x04, 0xe2, 0x01, 0x6e, 0x40}}), 0,
         0},
        {"Exp-Golomb code beyond 32 bits", Cat({kStartCode, {0x67, 0x42, 0x00, 0x1f, 0, 0, 0, 0, 0, 1}}), 0, 0},
        {"start code at 60", Cat({kStartCode, Bytes(57, 0x11), kStartCode, cif}), 352, 288},
        {"start code at 64: beyond the search", Cat({kStartCode, Bytes(61, 0x11), kStartCode, cif}), 0, 0},
        {"a PPS only", Cat({kStartCode, {0x68, 0xce, 0x3c, 0x80}}), 0, 0},
        {"no start code", cif, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t width = 0, height = 0;
        EXPECT_EQ(velkora::ParseH264Sps(c.buffer.data(), c.buffer.size(), width, height), c.width != 0);
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.width, c.height));
    }
}
