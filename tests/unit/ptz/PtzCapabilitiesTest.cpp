#include <gtest/gtest.h>

#include "ptz/CPtzCapabilities.h"

using velkora::CPtzCapabilities;

static CPtzCapabilities Parse(const char* text)
{
    CPtzCapabilities caps;
    caps.pan = caps.tilt = caps.zoom = caps.focus = caps.iris = true;  // must all be overwritten
    caps.presetCount = 99;
    caps.FromString(text);
    return caps;
}

TEST(PtzCapabilities, TextNamesOptionalFunctionsOnlyWithTheirAxis)
{
    CPtzCapabilities caps;
    caps.unzoom = caps.center = caps.areaZoom = true;
    EXPECT_EQ(caps.ToString(), "Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0; Preset=0");
    caps.pan = caps.tilt = caps.zoom = true;
    caps.areaZoom = false;
    EXPECT_EQ(caps.ToString(), "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Unzoom=1; Center=1; Preset=0");

    caps = CPtzCapabilities();
    caps.tilt = caps.center = caps.unzoom = caps.areaZoom = true;  // zoom missing: lost on the way back
    caps.presetCount = 4294967295u;
    EXPECT_EQ(Parse(caps.ToString().c_str()).ToString(),
              "Pan=0; Tilt=1; Zoom=0; Focus=0; Iris=0; Center=1; Preset=4294967295");
}

TEST(PtzCapabilities, ReadsExactKeysAndStrictValues)
{
    EXPECT_EQ(Parse("Pan=1;Tilt=1;Zoom=0").ToString(), "Pan=1; Tilt=1; Zoom=0; Focus=0; Iris=0; Preset=0");
    for (const char* text : {"pan=1", "Pan=yes", "Pan=11", "Pan = 1", "Pan="})
        EXPECT_FALSE(Parse(text).pan) << text;
    EXPECT_TRUE(Parse("\tZoom=1\r\nPan=1\n").pan);
    EXPECT_TRUE(Parse("Pan=; Pan=1").pan);  // empty values are passed over
    EXPECT_FALSE(Parse("AreaZoom=1; Zoom=0").zoom);

    EXPECT_EQ(Parse("Preset=12").presetCount, 12u);
    for (const char* text : {"Preset=12a", "Preset=", "Preset=-1", "Pan=1", "Preset=4294967296"})
        EXPECT_EQ(Parse(text).presetCount, 0u) << text;
}
