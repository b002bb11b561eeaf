#include <gtest/gtest.h>

#include "media/H264Sps.h"
#include "unit/media/H264TestStream.h"

using namespace mediatest;

namespace {

struct Size {
    uint16_t width = 0;
    uint16_t height = 0;
    bool ok = false;
};

Size Parse(const Bytes& buffer) {
    Size s;
    s.ok = velkora::ParseH264Sps(buffer.data(), buffer.size(), s.width, s.height);
    return s;
}

Size ParseSps(const Bytes& sps) { return Parse(Cat({StartCode3(), sps})); }

}  // namespace

TEST(H264Sps, PictureSizeFromTheFields) {
    struct Case {
        const char* name;
        SpsFields fields;
        uint16_t width, height;
    };
    SpsFields hd;
    hd.widthMbs = 80;
    hd.heightUnits = 45;
    SpsFields fullHd;  // High profile, scaling matrices, 1088 cropped to 1080
    fullHd.profile = 100;
    fullHd.scalingMatrix = true;
    fullHd.pocType = 0;
    fullHd.widthMbs = 120;
    fullHd.heightUnits = 68;
    fullHd.cropBottom = 4;
    SpsFields interlaced;
    interlaced.widthMbs = 44;
    interlaced.heightUnits = 36;
    interlaced.frameMbsOnly = false;
    SpsFields cif;
    cif.widthMbs = 22;
    cif.heightUnits = 18;
    cif.pocType = 1;
    const Case cases[] = {
        {"720p baseline", hd, 1280, 720},
        {"1080p high with scaling lists", fullHd, 1920, 1080},
        {"field coding doubles the map units", interlaced, 704, 1152},
        {"poc type 1", cif, 352, 288},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Size s = ParseSps(BuildSps(c.fields));
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.height, c.height);
    }
}

TEST(H264Sps, EmulationPreventionBytesAreSkipped) {
    // A large offset_for_non_ref_pic (valid: up to 2^31 - 1) puts a long run of zero bits
    // before the size fields, so the NAL unit carries 00 00 03.
    SpsFields f;
    f.profile = 77;
    f.pocType = 1;
    f.offsetForNonRefPic = -(int64_t{1} << 30);
    f.widthMbs = 80;
    f.heightUnits = 45;
    const Bytes sps = BuildSps(f);
    bool escaped = false;
    for (size_t i = 0; i + 2 < sps.size(); ++i) escaped = escaped || (sps[i] == 0 && sps[i + 1] == 0 && sps[i + 2] == 3);
    ASSERT_TRUE(escaped);
    const Size s = ParseSps(sps);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.width, 1280);
    EXPECT_EQ(s.height, 720);
}

TEST(H264Sps, WhereTheSpsMayBe) {
    const Bytes sps = BuildSps(SpsFields{});
    const Bytes pps{0x68, 0xce, 0x3c, 0x80};
    // Found behind other NAL units within the first 64 bytes.
    EXPECT_TRUE(Parse(Cat({StartCode3(), Bytes(20, 0x11), StartCode3(), sps, StartCode3(), pps})).ok);
    // A start code at byte 64 or later is outside the search window.
    EXPECT_FALSE(Parse(Cat({StartCode3(), Bytes(61, 0x11), StartCode3(), sps})).ok);
    EXPECT_TRUE(Parse(Cat({StartCode3(), Bytes(57, 0x11), StartCode3(), sps})).ok);
    // Only NAL type 7 counts; a bare buffer without start code is not searched.
    EXPECT_FALSE(Parse(Cat({StartCode3(), pps})).ok);
    EXPECT_FALSE(Parse(sps).ok);
    EXPECT_FALSE(Parse({}).ok);
}

TEST(H264Sps, CorruptSpsFails) {
    const Bytes sps = BuildSps(SpsFields{});
    // Cut before the size fields are complete: the reader runs past the end.
    EXPECT_FALSE(ParseSps(Bytes(sps.begin(), sps.begin() + 5)).ok);
    EXPECT_FALSE(ParseSps({0x67}).ok);
    // Cropping larger than the picture, and sizes beyond 16 bits, are refused, not wrapped.
    SpsFields overCropped;
    overCropped.cropRight = 700;
    EXPECT_FALSE(ParseSps(BuildSps(overCropped)).ok);
    SpsFields huge;
    huge.widthMbs = 5000;
    EXPECT_FALSE(ParseSps(BuildSps(huge)).ok);
    // An Exp-Golomb code of more than 32 leading zeros.
    EXPECT_FALSE(ParseSps({0x67, 0x42, 0x00, 0x1f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}).ok);
}
