#include "onvif/CXmlParser.h"
#include "onvif/OnvifNumbers.h"
#include "onvif/OnvifRecords.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Onvif;

namespace {

const std::string kHead = "<e xmlns:tt=\"http://www.onvif.org/ver10/schema\">";

}  // namespace

TEST(OnvifNumbers, StrictReadingAndFloatForms)
{
    for (const char* text : {"", "-1", "+1", " 1", "1.0"})
        EXPECT_EQ(0u, ParseUInt32(text)) << text;
    EXPECT_EQ(std::numeric_limits<float>::max(), ParseFloat("infinity"));
    EXPECT_EQ("1 -0.50000 0.25000 0",
              FormatFloat(1.0f) + " " + FormatFloat(-0.5f) + " " + FormatFloat(0.25f) + " " + FormatFloat(0.0f));
    EXPECT_FALSE(FormatFloat(std::numeric_limits<float>::max()).empty());
}

TEST(OnvifRecords, VideoEncoderConfigurationReadsAndWrites)
{
    const std::string text =
        kHead +
        "<c token=\"VEC1\"><tt:Name>Main</tt:Name><tt:UseCount>-1</tt:UseCount><tt:Encoding>H264</tt:Encoding>"
        "<tt:Resolution><tt:Width>70000</tt:Width><tt:Height>1080</tt:Height></tt:Resolution><tt:Quality>4.5</tt:Quality>"
        "<tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit><tt:EncodingInterval>1</tt:EncodingInterval>"
        "<tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>50</tt:GovLength>"
        "<tt:H264Profile>Main</tt:H264Profile></tt:H264><tt:Multicast><tt:Port>0</tt:Port></tt:Multicast>"
        "<tt:SessionTimeout>PT60S</tt:SessionTimeout></c></e>";
    VideoEncoderConfiguration config;
    ASSERT_TRUE(config.LoadFromText(text, "e/c"));
    EXPECT_EQ("VEC1 Main false PT60S",
              config.token + " " + config.name + " " + config.multicast.autoStart + " " + config.sessionTimeout);
    EXPECT_TRUE(config.useCount == 0 && config.width == 4464 && config.quality == 4.5f && config.h264.govLength == 50);

    config.width = 1920;
    config.name = "A&B <\"x\">";
    EXPECT_EQ(
        "<Configuration token=\"VEC1\"><tt:Name>A&amp;B &lt;&quot;x&quot;&gt;</tt:Name><tt:UseCount>0</tt:UseCount>"
        "<tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height>"
        "</tt:Resolution><tt:Quality>4</tt:Quality><tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit>"
        "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit></tt:RateControl>"
        "<tt:H264><tt:GovLength>50</tt:GovLength><tt:H264Profile>Main</tt:H264Profile></tt:H264>"
        "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type></tt:Address><tt:Port>0</tt:Port><tt:TTL>0</tt:TTL>"
        "<tt:AutoStart>false</tt:AutoStart></tt:Multicast><tt:SessionTimeout>PT60S</tt:SessionTimeout>"
        "</Configuration>",
        config.ToXml());

    for (const char* encoding : {"JPEG", "h264"}) {
        config.encoding = encoding;
        const std::string xml = config.ToXml();
        EXPECT_TRUE(xml.find("<tt:H264>") == xml.npos && xml.find("<tt:MPEG4>") == xml.npos) << encoding;
    }
    config.encoding = "MPEG4";
    config.mpeg4.govLength = 30;
    EXPECT_NE(
        std::string::npos,
        config.ToXml().find("<tt:MPEG4><tt:GovLength>30</tt:GovLength><tt:Mpeg4Profile></tt:Mpeg4Profile></tt:MPEG4>"));

    // A written configuration reads back the same.
    VideoEncoderConfiguration back;
    ASSERT_TRUE(back.LoadFromText(kHead + config.ToXml() + "</e>", "e/Configuration"));
    EXPECT_TRUE(back.name == config.name && back.width == 1920 && back.mpeg4.govLength == 30);
}

TEST(OnvifRecords, TokensNamesAndRequiredParts)
{
    const std::string text = kHead + "<p token=\"P1\"><tt:Name>N</tt:Name></p><p><tt:Name>no token</tt:Name></p></e>";
    VideoSourceConfiguration keep("MINE");
    ASSERT_TRUE(keep.LoadFromText(text, "e/p[1]"));
    EXPECT_EQ("MINE N", keep.token + " " + keep.name);  // a token set beforehand stays

    VideoSourceConfiguration noToken;
    EXPECT_FALSE(noToken.LoadFromText(text, "e/p[2]") || noToken.LoadFromText("<broken", "e/p"));

    EXPECT_FALSE(MediaProfile().LoadFromText(text, "e/p[1]"));  // no video source configuration
}

TEST(OnvifRecords, PtzConfigurationAndSpeed)
{
    const std::string text =
        kHead +
        "<c token=\"PTZ1\"><tt:Name>P</tt:Name><tt:UseCount>-1</tt:UseCount><tt:NodeToken>N1</tt:NodeToken>"
        "<tt:DefaultAbsolutePantTiltPositionSpace>urn:abs</tt:DefaultAbsolutePantTiltPositionSpace>"
        "<tt:DefaultPTZSpeed><tt:PanTilt x=\"0.5\" y=\"0\" space=\"urn:pt\"/><tt:Zoom x=\"-inf\" space=\"urn:z\"/>"
        "</tt:DefaultPTZSpeed><tt:DefaultPTZTimeout>PT5S</tt:DefaultPTZTimeout></c>"
        "<s><tt:PanTilt x=\"1\" y=\"1\" space=\"urn:pt2\"/><tt:Zoom space=\"urn:z2\"/></s></e>";
    PTZConfiguration config;
    ASSERT_TRUE(config.LoadFromText(text, "e/c"));
    EXPECT_EQ("-1", config.useCount);
    EXPECT_TRUE(config.defaultPTZSpeed.pan == 0.5f &&
                config.defaultPTZSpeed.zoom == std::numeric_limits<float>::lowest());
    config.defaultPTZSpeed.zoom = 1.0f;
    EXPECT_EQ(
        "<tptz:PTZConfiguration token=\"PTZ1\"><tt:Name>P</tt:Name><tt:UseCount>-1</tt:UseCount>"
        "<tt:NodeToken>N1</tt:NodeToken>"
        "<tt:DefaultAbsolutePantTiltPositionSpace>urn:abs</tt:DefaultAbsolutePantTiltPositionSpace>"
        "<tt:DefaultPTZSpeed><tt:PanTilt space=\"urn:pt\" x=\"0.50000\" y=\"0\" />"
        "<tt:Zoom space=\"urn:z\" x=\"1\" /></tt:DefaultPTZSpeed><tt:DefaultPTZTimeout>PT5S</tt:DefaultPTZTimeout>"
        "</tptz:PTZConfiguration>",
        config.ToXml());

    // A zoom without "x": numbers stay, spaces are taken.
    PtzSpeed speed = config.defaultPTZSpeed;
    EXPECT_FALSE(speed.LoadFromText(text, "e/s"));
    EXPECT_TRUE(speed.pan == 0.5f && speed.zoom == 1.0f);
    EXPECT_EQ("urn:pt2 urn:z2", speed.panTiltSpace + " " + speed.zoomSpace);

    EXPECT_EQ("", PtzSpeed().ToXml());
    PTZConfiguration bare("T");
    EXPECT_EQ("<tptz:PTZConfiguration token=\"T\"><tt:Name></tt:Name><tt:NodeToken></tt:NodeToken>"
              "</tptz:PTZConfiguration>",
              bare.ToXml());
}
