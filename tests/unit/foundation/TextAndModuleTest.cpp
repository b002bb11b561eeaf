#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include <velkora/records.h>

#include "foundation/AddressText.h"
#include "foundation/FormatText.h"
#include "foundation/ModuleInfo.h"
#include "foundation/StreamKindNames.h"
#include "foundation/Trace.h"

using namespace velkora;

TEST(SplitHostPort, AcceptsHostAndOptionalPortRefusesMalformedAndOutOfRange)
{
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(SplitHostPort("10.0.0.5", 80, host, port));
    EXPECT_EQ(host + ":" + std::to_string(port), "10.0.0.5:80");
    ASSERT_TRUE(SplitHostPort("cam:65535", 80, host, port));
    EXPECT_EQ(host + ":" + std::to_string(port), "cam:65535");
    // 65616 would wrap to 80 in 16 bits: it must fail, not reach port 80.
    for (const char* bad : {"", ":80", "cam:", "cam:80a", "cam:0", "cam:-1", "cam: 80", "cam:80:1", "10.0.0.5:65616",
                            "cam:65536", "cam:99999999999"}) {
        host = "unchanged";
        EXPECT_FALSE(SplitHostPort(bad, 80, host, port)) << bad;
        EXPECT_EQ(host, "unchanged") << bad;
    }
}

TEST(ModuleInfo, HostDirectoryIsTheExecutablesDirectory)
{
    char path[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", path, sizeof path - 1), 0);
    std::string expected(path);
    expected.erase(expected.rfind('/') + 1);
    EXPECT_EQ(GetHostDirectory(), expected);
}

TEST(FormatText, FormatsAnyLength)
{
    EXPECT_EQ(FormatText("%s:%u", "cam", 554u), "cam:554");
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatText("<%s>", longText.c_str()), "<" + longText + ">");
    EXPECT_EQ(FormatText("%s", ""), "");
}

// The names of the known kinds show in the channels' messages and configuration keys.
TEST(StreamKindNames, UnknownKindsHaveNoNames)
{
    for (uint32_t kind : {3u, 0xFFFFFFFFu}) {
        const StreamKindNames& n = NamesOfStreamKind(kind);
        EXPECT_EQ(std::string(n.tag) + n.word + n.keySuffix, "") << kind;
    }
}

// Cameras leave '@', '/', ':' and '%' of a password unescaped in the addresses they give.
TEST(TraceAddress, LeavesNoCredentialInTheLine)
{
    const struct {
        const char* address;
        const char* shown;
    } cases[] = {
        {"rtsp://cam:554/media/1", "rtsp://cam:554/media/1"},
        {"rtsp://admin:p@ss@cam:554/media/1", "rtsp://cam:554/media/1"},
        {"rtsp://admin:pa/ss:w%rd@cam/media/1", "rtsp://cam/media/1"},
        {"rtsp://admin@cam/s?user=admin&password=p@s/s:%25&profile=1", "rtsp://cam/s?user=***&password=***&profile=1"},
        {"rtsp://cam/s?Pwd=x;AuthToken=y&channel=2#frag", "rtsp://cam/s?Pwd=***;AuthToken=***&channel=2#frag"},
        {"/media/1?u=admin&p=secret&subtype", "/media/1?u=***&p=***&subtype"},
        {"rtsp://cam/s?user=a@b", "rtsp://cam/s?user=***"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TraceAddress(c.address), c.shown) << c.address;
}
