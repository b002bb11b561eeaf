#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>

#include "foundation/AddressText.h"
#include "foundation/CDebugInfo.h"
#include "foundation/ModuleInfo.h"

using namespace velkora;

TEST(SplitHostPort, AcceptsHostAndOptionalPort)
{
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(SplitHostPort("10.0.0.5", 80, host, port));
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 80);
    ASSERT_TRUE(SplitHostPort("cam:8000", 80, host, port));
    EXPECT_EQ(host, "cam");
    EXPECT_EQ(port, 8000);
    ASSERT_TRUE(SplitHostPort("cam:65535", 80, host, port));
    EXPECT_EQ(port, 65535);
}

TEST(SplitHostPort, RefusesMalformedAndOutOfRangePorts)
{
    // 65616 would wrap to 80 in 16 bits: it must fail, not reach port 80.
    for (const char* bad : {"", ":80", "cam:", "cam:80a", "cam:0", "cam:-1", "cam: 80", "cam:80:1", "10.0.0.5:65616",
                            "cam:65536", "cam:99999999999"}) {
        std::string host = "unchanged";
        uint16_t port = 1;
        EXPECT_FALSE(SplitHostPort(bad, 80, host, port)) << bad;
        EXPECT_EQ(host, "unchanged") << bad;
    }
}

TEST(DebugInfo, EmptyMessageHasNullText)
{
    EXPECT_EQ(CDebugInfo(3, "").GetText(), nullptr);
    EXPECT_EQ(CDebugInfo(3, nullptr).GetText(), nullptr);
    CDebugInfo info(100, "hello");
    EXPECT_STREQ(info.GetText(), "hello");
    EXPECT_EQ(info.GetLevel(), 100);
}

TEST(ModuleInfo, HostDirectoryIsTheExecutablesDirectory)
{
    char path[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", path, sizeof path - 1), 0);
    std::string expected(path);
    expected.erase(expected.rfind('/') + 1);
    EXPECT_EQ(GetHostDirectory(), expected);
}
