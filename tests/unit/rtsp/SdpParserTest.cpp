#include "rtsp/CSDPResponseParser.h"

#include <gtest/gtest.h>

using namespace velkora;
using Bytes = std::vector<std::uint8_t>;

TEST(SdpParser, MediaBlocksOfEveryKind)
{
    CSDPResponseParser p;
    ASSERT_TRUE(p.Parse("v=0\r\nc=IN IP4 0.0.0.0\r\na=control:*\r\n"
                        "m=video 0 RTP/AVP 96\r\nc=IN IP4 239.0.0.1/16\r\na=rtpmap:96 H264/90000\r\n"
                        "a=control:rtsp://cam/live/track1\r\n"
                        "m=audio 5004 RTP/AVP 0\nc=IN IP6 ::1\na=rtpmap:0 PCMU/8000\na=control:track2\n"
                        "m=application 7 RTP/AVP 107\r\na=control:track3\r\na=fmtp:107 whatever\r\n"
                        "m=text 9 RTP/AVP 98\r\na=control:ignored\r\n"));
    const MediaDescription& m = p.Description();
    EXPECT_EQ(m.video.port, 0);
    EXPECT_EQ(m.audio.port, 5004);
    EXPECT_EQ(m.data.port, 7);
    EXPECT_EQ(m.video.protocol + " " + m.video.connectionAddress + " " + m.video.rtpMap + " " + m.video.control,
              "RTP/AVP 239.0.0.1 H264/90000 rtsp://cam/live/track1");
    EXPECT_EQ(m.audio.connectionAddress, "");  // IPv6 is not taken
    EXPECT_EQ(m.audio.rtpMap, "PCMU/8000");
    EXPECT_EQ(m.audio.control, "track2");
    EXPECT_EQ(m.data.control, "track3");
    EXPECT_EQ(m.video.payloadType, 96);
    EXPECT_EQ(m.audio.payloadType, 0);
    // Only a number below 128 is an RTP payload type.
    for (const char* format : {"128", "x96", "", "-1", "0096"}) {
        ASSERT_TRUE(p.Parse(std::string("m=video 0 RTP/AVP ") + format + "\r\n")) << format;
        EXPECT_EQ(p.Description().video.payloadType, -1) << format;
    }
    EXPECT_TRUE(p.Parse(""));  // each parse starts afresh
    EXPECT_EQ(p.Description().data.control, "");
}

TEST(SdpParser, FailingLines)
{
    const char* failing[] = {
        "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\nm=video 0 RTP/AVP 96\r\n",  // before any m=
        "m=\r\n",
        "m=video 0 RTP/AVP 96\r\nc=IN IP4\r\n",
        "m=video 0 RTP/AVP 96\r\nc=IN ATM 1\r\n",
        "m=video 0 RTP/AVP 96\r\nc=IN IP4 /16\r\n",
        "m=video 0 RTP/AVP 96\r\na=control:\r\n",
        "m=video 0 RTP/AVP 96\r\na=rtpmap:96\r\n",
        "m=video 0 RTP/AVP 96\r\na=fmtp:96 packetization-mode=1\r\n",
        "m=video 0 RTP/AVP 96\r\na=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9k\r\n",
        "m=video 0 RTP/AVP 96\r\na=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9k,\r\n",
    };
    CSDPResponseParser p;
    for (const char* sdp : failing)
        EXPECT_FALSE(p.Parse(sdp)) << sdp;
    EXPECT_TRUE(p.Parse("m=audio 0 RTP/AVP 97\r\na=fmtp:97 anything\r\n"));
}

TEST(SdpParser, H264ParameterSetsAndConfig)
{
    CSDPResponseParser p;
    ASSERT_TRUE(p.Parse("m=video 0 RTP/AVP 96\r\na=fmtp:96 packetization-mode=1;"
                        "sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==;profile-level-id=42001e\r\n"));
    EXPECT_EQ(p.Description().sps, (Bytes{0x67, 0x42, 0x00, 0x1E, 0x95, 0xA8, 0x28, 0x0F, 0x64}));
    EXPECT_EQ(p.Description().pps, (Bytes{0x68, 0xCE, 0x3C, 0x80}));
    // A set too large for its 256 bytes is left empty, which fails the line.
    EXPECT_FALSE(
        p.Parse("m=video 0 RTP/AVP 96\r\na=fmtp:96 sprop-parameter-sets=" + std::string(344, 'A') + ",aM48\r\n"));
    ASSERT_TRUE(p.Parse("m=video 0 RTP/AVP 96\r\na=fmtp:96 profile-level-id=1; config=000001B0f5 \r\n"));
    EXPECT_EQ(p.Description().config, (Bytes{0x00, 0x00, 0x01, 0xB0, 0xF5}));
    ASSERT_TRUE(p.Parse("m=video 0 RTP/AVP 96\r\na=fmtp:96 config=0G1\r\n"));
    EXPECT_EQ(p.Description().config, (Bytes{0x00, 0x01}));  // a stray digit reads 0, a lone last digit is a byte
    ASSERT_TRUE(p.Parse("m=video 0 RTP/AVP 96\r\na=fmtp:96 config=aM48gA==\r\n"));
    EXPECT_EQ(p.Description().config, (Bytes{0x68, 0xCE, 0x3C, 0x80}));
}
