// harnoquistel discover against a site of simulated cameras, and against a hostile answerer.
#include "CliFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

namespace {

using namespace clitest;

constexpr int kSite = 16;

// A UDP port free on every loopback address and on the discovery group: each test
// run takes its own, so parallel runs never see each other's probes.
std::uint16_t FreeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    socklen_t length = sizeof any;
    bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    getsockname(fd, reinterpret_cast<sockaddr*>(&any), &length);
    close(fd);
    return ntohs(any.sin_port);
}

// Each camera of the site once, at its device service, as one served camera.
void ExpectSite(const Outcome& outcome, const std::vector<std::unique_ptr<sim::Simulator>>& site)
{
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json found = ParseJson(outcome.out);
    std::multiset<std::string> addresses, expected;
    for (const json& device : found) {
        addresses.insert(device["address"].get<std::string>());
        EXPECT_EQ(device["model"], "HQ-SIM");
        EXPECT_EQ(device["served"], true);
    }
    for (const auto& camera : site)
        expected.insert(camera->OnvifDeviceUrl());
    EXPECT_EQ(addresses, expected);
}

TEST_F(CliCommand, DiscoverFindsEveryCameraOfASiteOnce)
{
    const std::uint16_t port = FreeUdpPort();
    std::vector<std::unique_ptr<sim::Simulator>> site;
    std::string addresses;
    for (int i = 0; i < kSite; ++i) {
        sim::SimulatorOptions options = Options();
        options.bindAddress = "127.0.0." + std::to_string(101 + i);
        options.discovery = true;
        options.discoveryPort = port;
        site.push_back(std::make_unique<sim::Simulator>(options));
        std::string error;
        ASSERT_TRUE(site.back()->Start(&error)) << error;
        ASSERT_EQ(site.back()->Ports().discovery, port) << site.back()->DiscoveryError();
        addresses += (i ? "," : "") + options.bindAddress + ":" + std::to_string(port);
    }
    ExpectSite(Run({"discover", "--json", "--address", addresses}), site);
    ExpectSite(Run({"discover", "--json", "--port", std::to_string(port), "--interface", "127.0.0.1"}), site);

    // A plain multicast probe follows the routing table: route the group to the loopback
    // for the time of one run, where this test may (root) and nobody else did already.
    const std::string route = "ip route add 239.255.255.250/32 dev lo 2>/dev/null";
    if (Shell(route) != 0)
        GTEST_SKIP() << "cannot route the discovery group to the loopback";
    const Outcome plain = Run({"discover", "--json", "--port", std::to_string(port)});
    Shell("ip route del 239.255.255.250/32 dev lo");
    ExpectSite(plain, site);
}

// Answers every datagram with `answer` until stopped.
class FakeAnswerer
{
public:
    explicit FakeAnswerer(std::string answer) : answer(std::move(answer))
    {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        port = ntohs(local.sin_port);
        thread = std::thread([this] {
            char probe[65536];
            while (!stop) {
                pollfd p{fd, POLLIN, 0};
                sockaddr_in from{};
                socklen_t size = sizeof from;
                if (poll(&p, 1, 50) == 1 &&
                    recvfrom(fd, probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&from), &size) > 0)
                    for (const std::string& datagram : {std::string(65507, '<'), this->answer})
                        sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
            }
        });
    }
    ~FakeAnswerer()
    {
        stop = true;
        thread.join();
        close(fd);
    }

    std::uint16_t port = 0;

private:
    std::string answer;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::atomic<bool> stop{false};
    std::thread thread;
};

TEST_F(CliCommand, DiscoverPrintsNoControlCharacterFromTheNetwork)
{
    FakeAnswerer fake(
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
        "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
        "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Body><d:ProbeMatches><d:ProbeMatch>"
        "<a:EndpointReference><a:Address>urn:x</a:Address></a:EndpointReference><d:Types>d:Other</d:Types>"
        "<d:Scopes>onvif://www.onvif.org/name/%1B]0;owned%07 onvif://www.onvif.org/hardware/\xC2\x9B" "2J\xC3\xA9"
        "</d:Scopes><d:XAddrs>http://h/\xC2\x85x</d:XAddrs></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>");
    const std::string address = "127.0.0.1:" + std::to_string(fake.port);
    const Outcome text = Run({"discover", "--address", address});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* raw : {"\x1B", "\x07", "\xC2\x9B", "\xC2\x85"})
        EXPECT_EQ(text.out.find(raw), std::string::npos) << text.out;
    for (const char* shown : {"\\x1B]0;owned\\x07", "\\xC2\\x9B2J\xC3\xA9", "http://h/\\xC2\\x85x", "no "})
        EXPECT_NE(text.out.find(shown), std::string::npos) << shown << "\n" << text.out;
    const json found = ParseJson(Run({"discover", "--json", "--address", address}).out);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["name"], "\x1B]0;owned\x07");
}

}  // namespace
