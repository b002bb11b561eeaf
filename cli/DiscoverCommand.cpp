// harnoquistel discover: which devices on the site answer a WS-Discovery probe.
#include "Command.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include <nlohmann/json.hpp>

#include "DeviceOptions.h"
#include "Interrupt.h"
#include "foundation/AddressText.h"
#include "onvif/ProbeMatches.h"

namespace hqcli {
namespace {

using velkora::Onvif::DiscoveredDevice;
using velkora::Onvif::DiscoveredDevices;
using Clock = std::chrono::steady_clock;

constexpr const char* kGroup = "239.255.255.250";

struct DiscoverArguments {
    double timeout = 3;
    bool json = false;
    std::vector<std::string> addresses;
    std::uint16_t port = 3702;
    std::string interface;
};

// Device texts on a terminal: valid UTF-8 stays, control characters (C0, DEL, C1, bidi
// overrides) and invalid bytes become \xNN, so that an answer cannot move the cursor,
// retitle the window or disguise an address.
std::string Printable(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80             ? 1
                             : (byte & 0xE0) == 0xC0 ? 2
                             : (byte & 0xF0) == 0xE0 ? 3
                             : (byte & 0xF8) == 0xF0 ? 4
                                                     : 0;
        bool valid = length > 0 && i + length <= text.size() && (length == 1 || (byte >= 0xC2 && byte < 0xF5));
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        const auto next = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        // Also the bidirectional overrides and isolates, which reorder what the line shows.
        const bool control = byte < 0x20 || byte == 0x7F || (valid && byte == 0xC2 && next(1) < 0xA0) ||
                             (valid && byte == 0xE2 && next(1) == 0x80 && next(2) >= 0xAA && next(2) <= 0xAE) ||
                             (valid && byte == 0xE2 && next(1) == 0x81 && next(2) >= 0xA6 && next(2) <= 0xA9);
        if (!valid || control) {
            for (std::size_t k = 0; k < (valid ? length : 1); ++k) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[i + k]));
                out += escaped;
            }
            i += valid ? length : 1;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

std::string NewMessageId()
{
    std::random_device random;
    char text[48];
    std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-4%03x-%04x-%04x%08x", random(), random() & 0xFFFF,
                  random() & 0xFFF, (random() & 0x3FFF) | 0x8000, random() & 0xFFFF, random());
    return text;
}

bool Resolve(const std::string& text, std::uint16_t defaultPort, sockaddr_in& to, std::string* error)
{
    std::string host;
    std::uint16_t port = 0;
    if (!velkora::SplitHostPort(text, defaultPort, host, port)) {
        *error = "bad address " + text;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        *error = "cannot resolve " + host;
        return false;
    }
    to = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    to.sin_port = htons(port);
    freeaddrinfo(found);
    return true;
}

nlohmann::json ToJson(const std::vector<DiscoveredDevice>& devices)
{
    nlohmann::json list = nlohmann::json::array();
    for (const auto& d : devices)
        list.push_back({{"address", d.DeviceAddress()},
                        {"endpoint", d.endpoint},
                        {"model", d.model},
                        {"name", d.name},
                        {"served", d.Served()},
                        {"xaddrs", d.xaddrs},
                        {"scopes", d.scopes}});
    return list;
}

int RunDiscover(const DiscoverArguments& args)
{
    Interrupt interrupt;
    std::vector<sockaddr_in> targets;
    std::string error;
    for (const auto& address : args.addresses) {
        sockaddr_in to{};
        if (!Resolve(address, args.port, to, &error)) {
            std::fprintf(stderr, "harnoquistel discover: %s\n", error.c_str());
            return ExitUsage;
        }
        targets.push_back(to);
    }
    const bool multicast = targets.empty();
    if (multicast) {
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_port = htons(args.port);
        inet_pton(AF_INET, kGroup, &group.sin_addr);
        targets.push_back(group);
    }
    in_addr interface {
    };
    if (!args.interface.empty() && inet_pton(AF_INET, args.interface.c_str(), &interface) != 1) {
        std::fprintf(stderr, "harnoquistel discover: bad interface address %s\n", args.interface.c_str());
        return ExitUsage;
    }

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 ||
        (!args.interface.empty() && setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface) != 0)) {
        std::fprintf(stderr, "harnoquistel discover: cannot open a UDP socket: %s\n", std::strerror(errno));
        if (fd >= 0)
            close(fd);
        return ExitFailure;
    }
    const std::string messageId = NewMessageId();
    const std::string probe = velkora::Onvif::ProbeMessage(messageId);
    DiscoveredDevices devices(messageId);
    std::vector<bool> answered(targets.size(), false);
    auto sendProbes = [&] {
        for (std::size_t i = 0; i < targets.size(); ++i)
            if (!answered[i] && sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&targets[i]),
                                       sizeof targets[i]) < 0)
                std::fprintf(stderr, "harnoquistel discover: cannot send to %s:%u: %s\n",
                             inet_ntoa(targets[i].sin_addr), ntohs(targets[i].sin_port), std::strerror(errno));
    };
    sendProbes();

    // One deadline for the whole wait; UDP may lose a probe, so it goes out once more
    // (to the unicast addresses still silent); unicast ends early once all have answered.
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(static_cast<long>(args.timeout * 1000));
    const auto resendAt = start + std::chrono::milliseconds(300);
    bool resent = false;
    std::string buffer(DiscoveredDevices::kMaxAnswer + 1, '\0');
    while (!interrupt.Raised() && (multicast || std::find(answered.begin(), answered.end(), false) != answered.end())) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        if (!resent && now >= resendAt) {
            sendProbes();
            resent = true;
        }
        const auto wait = std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(100));
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count())) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
        if (n <= 0 || static_cast<std::size_t>(n) > DiscoveredDevices::kMaxAnswer)
            continue;
        if (devices.Add(buffer.substr(0, static_cast<std::size_t>(n))) == 0 || multicast)
            continue;
        for (std::size_t i = 0; i < targets.size(); ++i)
            if (targets[i].sin_addr.s_addr == from.sin_addr.s_addr && targets[i].sin_port == from.sin_port)
                answered[i] = true;
    }
    close(fd);

    const auto& list = devices.Devices();
    if (args.json) {
        std::printf("%s\n", ToJson(list).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else if (!list.empty()) {
        std::printf("%-6s %-48s %-20s %s\n", "CAMERA", "ADDRESS", "MODEL", "NAME");
        for (const auto& d : list)
            std::printf("%-6s %-48s %-20s %s\n", d.Served() ? "yes" : "no", Printable(d.DeviceAddress()).c_str(),
                        Printable(d.model).c_str(), Printable(d.name).c_str());
    }
    if (devices.Overflowed())
        std::fprintf(stderr, "harnoquistel discover: more devices answered; only the first %zu are listed\n",
                     DiscoveredDevices::kMaxDevices);
    if (list.empty()) {
        std::fprintf(stderr, "harnoquistel discover: no device answered\n");
        return ExitFailure;
    }
    return 0;
}

std::function<int()> SetupDiscover(CLI::App& app)
{
    auto args = std::make_shared<DiscoverArguments>();
    app.add_option("--timeout", args->timeout, "seconds to wait for answers")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 60.0));
    app.add_flag("--json", args->json, "print one JSON array instead of a table");
    app.add_option("--address", args->addresses,
                   "probe this device (HOST[:PORT], repeatable or comma-separated) instead of the multicast group")
        ->delimiter(',');
    app.add_option("--port", args->port, "WS-Discovery UDP port")->capture_default_str()->check(CLI::Range(1, 65535));
    app.add_option("--interface", args->interface, "IPv4 address of the interface to send the multicast probe from");
    app.footer("Lists each device that answered once: CAMERA is yes for an ONVIF video transmitter this driver "
               "can open (plain HTTP at /onvif/device_service).\n"
               "Exit status: 0 devices answered, 1 none answered, 2 usage error.");
    return [args] { return RunDiscover(*args); };
}

const bool registered = RegisterCommand(
    {"discover", "Find the cameras on the site (WS-Discovery probe, multicast or to --address)", SetupDiscover});

}  // namespace
}  // namespace hqcli
