#include "rtsp/RtspConnection.h"

#include "foundation/MonotonicClock.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

using namespace velkora;

namespace {

// A peer that accepts (in the kernel's backlog) and never reads nor writes.
struct DeafPeer {
    DeafPeer()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        listen(fd, 1);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        settings.host = "127.0.0.1";
        settings.rtspPort = ntohs(address.sin_port);
        settings.receiveTimeoutMs = settings.sendTimeoutMs = 60000;
    }
    ~DeafPeer() { close(fd); }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    RTSPSessionSettings settings;
};

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace

// A peer that stops reading holds a write no longer than its deadline, and a wait for
// an answer ends soon after another thread shortens the receive time-out.
TEST(RtspConnection, WaitsEndAtTheDeadlineOrWhenCutShort)
{
    DeafPeer peer;
    RtspConnection connection;
    std::string failure;
    ASSERT_TRUE(connection.Connect(peer.settings, failure)) << failure;

    const std::string flood(16 << 20, 'x');  // more than both socket buffers hold
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.Send(flood.data(), flood.size(), MonotonicMs() + 300));
    EXPECT_LT(Since(start), std::chrono::milliseconds(2000));

    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        connection.SetReceiveTimeout(100);
    });
    start = std::chrono::steady_clock::now();
    std::string response;
    EXPECT_FALSE(connection.ReceiveResponse(response, connection.ExchangeDeadline(), [] { return false; }));
    closer.join();
    EXPECT_LT(Since(start), std::chrono::milliseconds(2000));
}
