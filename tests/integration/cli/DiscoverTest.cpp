// harnoquistel discover against a site of simulated cameras, and against a hostile answerer.
#include "CliFixture.h"

#include <set>

#include "sim/DiscoveryResponder.h"

namespace {

using namespace clitest;

constexpr int kSite = 16;

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
    // The first camera takes a free port, on its address and on the discovery group, and
    // the others share it: parallel runs never see each other's probes.
    std::uint16_t port = 0;
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
        ASSERT_NE(site.back()->Ports().discovery, 0) << site.back()->DiscoveryError();
        port = site.back()->Ports().discovery;
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

TEST_F(CliCommand, DiscoverPrintsNoControlCharacterFromTheNetwork)
{
    sim::RequestLog log;
    sim::DiscoveryResponder hostile(
        {"urn:x",
         "http://h/\xC2\x85x",
         {"onvif://www.onvif.org/name/%1B]0;owned%07", "onvif://www.onvif.org/hardware/\xC2\x9B"
                                                       "2J\xC3\xA9\xE2\x80\xAE"}},
        log);
    ASSERT_TRUE(hostile.Start("127.0.0.1", 0, nullptr));
    const std::string address = "127.0.0.1:" + std::to_string(hostile.Port());
    const Outcome text = Run({"discover", "--address", address});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* raw : {"\x1B", "\x07", "\xC2\x9B", "\xC2\x85", "\xE2\x80\xAE"})
        EXPECT_EQ(text.out.find(raw), std::string::npos) << text.out;
    for (const char* shown :
         {"\\x1B]0;owned\\x07", "\\xC2\\x9B2J\xC3\xA9\\xE2\\x80\\xAE", "http://h/\\xC2\\x85x", "no "})
        EXPECT_NE(text.out.find(shown), std::string::npos) << shown << "\n" << text.out;
    const json found = ParseJson(Run({"discover", "--json", "--address", address}).out);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["name"], "\x1B]0;owned\x07");
}

}  // namespace
