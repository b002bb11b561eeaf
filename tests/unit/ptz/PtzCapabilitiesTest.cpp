#include "ptz/CPtzCapabilities.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velkora {
namespace {

CPtzCapabilities Parse(const char* text) {
  CPtzCapabilities caps;
  caps.pan = caps.tilt = caps.zoom = caps.focus = caps.iris = true;  // must all be overwritten
  caps.presetCount = 99;
  caps.FromString(text);
  return caps;
}

TEST(PtzCapabilities, TextOmitsOptionalFunctionsWithoutTheirAxis) {
  CPtzCapabilities caps;
  EXPECT_EQ(caps.ToString(), "Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0; Preset=0");

  caps.unzoom = caps.center = caps.areaZoom = true;
  EXPECT_EQ(caps.ToString(), "Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0; Preset=0");

  caps.pan = caps.tilt = caps.zoom = true;
  caps.areaZoom = false;
  EXPECT_EQ(caps.ToString(), "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Unzoom=1; Center=1; Preset=0");

  caps.areaZoom = caps.focus = true;
  caps.presetCount = 4294967295u;
  EXPECT_EQ(caps.ToString(),
            "Pan=1; Tilt=1; Zoom=1; Focus=1; Iris=0; Unzoom=1; AreaZoom=1; Center=1; Preset=4294967295");
}

TEST(PtzCapabilities, RoundTripDropsWhatTheTextLeftOut) {
  CPtzCapabilities caps;
  caps.tilt = caps.center = caps.unzoom = caps.areaZoom = true;  // zoom missing
  caps.presetCount = 7;
  CPtzCapabilities back;
  back.FromString(caps.ToString());
  EXPECT_TRUE(back.tilt && back.center);
  EXPECT_FALSE(back.pan || back.zoom || back.unzoom || back.areaZoom || back.focus || back.iris);
  EXPECT_EQ(back.presetCount, 7u);
}

TEST(PtzCapabilities, FlagsAreExactlyOneUnderTheExactKey) {
  CPtzCapabilities caps = Parse("Pan=1;Tilt=1;Zoom=0");
  EXPECT_TRUE(caps.pan && caps.tilt);
  EXPECT_FALSE(caps.zoom || caps.focus || caps.iris || caps.areaZoom || caps.center || caps.unzoom);
  EXPECT_EQ(caps.presetCount, 0u);

  EXPECT_FALSE(Parse("pan=1").pan);
  EXPECT_FALSE(Parse("Pan=yes").pan);
  EXPECT_FALSE(Parse("Pan=11").pan);
  EXPECT_FALSE(Parse("Pan = 1").pan);
  EXPECT_TRUE(Parse("\tZoom=1\r\nPan=1\n").pan);
  // "AreaZoom" holds "Zoom" but is another key.
  CPtzCapabilities area = Parse("AreaZoom=1; Zoom=0");
  EXPECT_TRUE(area.areaZoom);
  EXPECT_FALSE(area.zoom);
}

TEST(PtzCapabilities, PresetIsAStrictUnsignedNumber) {
  EXPECT_EQ(Parse("Preset=12").presetCount, 12u);
  EXPECT_EQ(Parse("Preset=12a").presetCount, 0u);
  EXPECT_EQ(Parse("Preset=").presetCount, 0u);
  EXPECT_EQ(Parse("Preset=-1").presetCount, 0u);
  EXPECT_EQ(Parse("Pan=1").presetCount, 0u);
  EXPECT_EQ(Parse("Preset=4294967296").presetCount, 0u);  // wraps modulo 2^32
}

TEST(PtzCapabilities, FillRecordWritesItsWordsOnly) {
  CPtzCapabilities caps;
  caps.pan = caps.zoom = caps.iris = caps.center = true;
  caps.presetCount = 5;
  PTZ_CAPABILITIES record;
  std::memset(&record, 0xAB, sizeof(record));
  caps.FillRecord(&record);
  caps.FillRecord(nullptr);
  const auto* words = reinterpret_cast<const uint32_t*>(&record);
  EXPECT_EQ(words[0], 0xABABABABu);
  EXPECT_EQ(words[1], 1u);
  EXPECT_EQ(words[2], 0u);
  EXPECT_EQ(words[3], 1u);
  EXPECT_EQ(words[4], 0u);
  EXPECT_EQ(words[5], 1u);
  EXPECT_EQ(words[6], 0xABABABABu);
  EXPECT_EQ(words[7], 5u);
  EXPECT_EQ(words[11], 0u);
  EXPECT_EQ(words[12], 1u);
  EXPECT_EQ(words[13], 0u);
}

}  // namespace
}  // namespace velkora
