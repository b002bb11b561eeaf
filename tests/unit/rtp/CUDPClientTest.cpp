#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "rtp/CUDPClient.h"
#include "unit/rtp/LoopbackSocket.h"

using namespace rtptest;
using velkora::CUDPClient;
using velkora::IRTPClient;

namespace {

class CountingUser : public velkora::IRTPClientUser {
public:
    void OnDataReceived(IRTPClient*, const sockaddr_in&, const uint8_t*, size_t) override { ++data; }
    void OnReceiveTimeout(IRTPClient*) override {
        if (timeouts++ == 0) firstTimeout.set_value();
    }
    void OnClientClosed(IRTPClient*) override { ++closed; }

    std::atomic<int> data{0};
    std::atomic<int> timeouts{0};
    std::atomic<int> closed{0};
    std::promise<void> firstTimeout;
};

}  // namespace

TEST(UdpClient, ClosedClientAndBadOpens) {
    NullDebug debug;
    CountingUser user;
    CUDPClient client(&debug);
    EXPECT_TRUE(client.Close());  // never opened: nothing to join, no call
    EXPECT_FALSE(client.OpenMulticast(&user, "", 0));
    EXPECT_FALSE(client.OpenMulticast(&user, "239.1.300.1", 0));
    EXPECT_FALSE(client.Open(nullptr, 0));
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_EQ(user.closed, 0);

    // A second open while open fails and closes the client.
    ASSERT_TRUE(client.Open(&user, 0));
    EXPECT_NE(client.GetPort(), 0);
    EXPECT_FALSE(client.Open(&user, 0));
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
}

TEST(UdpClient, QuietPeriodsAndSend) {
    NullDebug debug;
    CountingUser user;
    CUDPClient client(&debug);
    client.SetSelectTimeout(50);
    ASSERT_TRUE(client.Open(&user, 0));
    ASSERT_EQ(user.firstTimeout.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    LoopbackSocket peer;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    to.sin_port = htons(peer.Port());
    EXPECT_TRUE(client.SendTo(to, nullptr, 0));
    const Bytes hello{1, 2, 3};
    ASSERT_TRUE(client.SendTo(to, hello.data(), hello.size()));
    Bytes got;
    ASSERT_TRUE(peer.Receive(got));
    EXPECT_EQ(got, hello);

    EXPECT_TRUE(client.Close());
    EXPECT_FALSE(client.SendTo(to, hello.data(), hello.size()));
    EXPECT_EQ(user.closed, 1);
}

TEST(UdpClient, CloseWakesALongWait) {
    // A 60 s wait period: Close must not have to sit it out (the ctest time-out would catch it).
    NullDebug debug;
    CountingUser user;
    CUDPClient client(&debug);
    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.Open(&user, 0));
    EXPECT_TRUE(client.Close());
    EXPECT_EQ(user.timeouts, 0);
}
