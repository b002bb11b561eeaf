#include "sim/Site.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <thread>

namespace sim {
namespace {

constexpr unsigned kMaxCameras = 254;  // one /24 of loopback addresses

// Is binding `port` on `address` refused for want of privilege (a port below 1024)?
bool LacksBindPrivilege(const std::string& address, std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (port == 0 || port >= 1024 || inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1)
        return false;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool refused = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EACCES;
    if (fd >= 0)
        close(fd);
    return refused;
}

// The IPv4 address `offset` after `first`; empty when there is none.
std::string AddressAfter(const std::string& first, unsigned offset)
{
    in_addr a{};
    if (inet_pton(AF_INET, first.c_str(), &a) != 1)
        return {};
    const std::uint64_t value = std::uint64_t{ntohl(a.s_addr)} + offset;
    if (value > 0xFFFFFFFFu)
        return {};
    a.s_addr = htonl(static_cast<std::uint32_t>(value));
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, text, sizeof text) ? text : "";
}

}  // namespace

std::optional<SiteFault> ParseSiteFault(const std::string& spec, std::string* error)
{
    SiteFault site;
    std::size_t digits = 0;
    while (digits < spec.size() && std::isdigit(static_cast<unsigned char>(spec[digits])))
        ++digits;
    std::string rest = spec;
    if (digits > 0 && digits < spec.size() && spec[digits] == ':') {
        site.camera = digits > 3 ? 0 : static_cast<unsigned>(std::stoul(spec.substr(0, digits)));
        if (site.camera < 1 || site.camera > kMaxCameras) {
            if (error)
                *error = "fault '" + spec + "': cameras are numbered 1 to " + std::to_string(kMaxCameras);
            return std::nullopt;
        }
        rest = spec.substr(digits + 1);
    }
    const std::optional<Fault> fault = ParseFault(rest, error);
    if (!fault)
        return std::nullopt;
    site.fault = *fault;
    return site;
}

Site::Site(SiteOptions options) : site_(std::move(options)) {}

Site::~Site()
{
    Stop();
}

bool Site::Start(std::string* error)
{
    Stop();
    cameras_.clear();
    options_.clear();
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        Stop();
        return false;
    };
    const unsigned count = site_.cameras;
    if (count < 1 || count > kMaxCameras)
        return fail("cameras must be 1 to " + std::to_string(kMaxCameras));
    for (const SiteFault& f : site_.faults)
        if (f.camera > count)
            return fail("a fault for camera " + std::to_string(f.camera) + ", but the site has " +
                        std::to_string(count));
    if (site_.basePort && *site_.basePort != 0 && *site_.basePort + 4 * count - 1 > 65535u)
        return fail("the ports of " + std::to_string(count) + " cameras from " + std::to_string(*site_.basePort) +
                    " run past 65535");
    for (unsigned i = 1; i <= count; ++i) {
        SimulatorOptions o = site_.camera;
        o.number = i;
        if (count > 1)
            o.logPrefix = "camera " + std::to_string(i) + " ";
        if (site_.basePort) {
            auto port = [&](unsigned k) {
                return static_cast<std::uint16_t>(*site_.basePort == 0 ? 0 : *site_.basePort + 4 * (i - 1) + k);
            };
            o.httpPort = port(0), o.rtspPort = port(1), o.ptzPort = port(2), o.discoveryPort = port(3);
        } else if (i > 1 && (o.bindAddress = AddressAfter(site_.camera.bindAddress, i - 1)).empty()) {
            return fail("no address for camera " + std::to_string(i) + " after " + site_.camera.bindAddress);
        }
        for (const SiteFault& f : site_.faults)
            if (f.camera == 0 || f.camera == i)
                o.faults.push_back(f.fault);
        options_.push_back(std::move(o));
    }
    // Said before anything starts: a site on the standard ports (80, 554) needs the privilege.
    const SimulatorOptions& first = options_.front();
    for (std::uint16_t port : {first.httpPort, first.rtspPort, first.ptzPort})
        if (LacksBindPrivilege(first.bindAddress, port))
            return fail("binding port " + std::to_string(port) + " on " + first.bindAddress +
                        " needs root or the capability CAP_NET_BIND_SERVICE (setcap cap_net_bind_service=+ep on the "
                        "program); or give ports from 1024 up (--base-port, or --http-port and --rtsp-port)");
    for (const SimulatorOptions& o : options_) {
        cameras_.push_back(std::make_unique<Simulator>(o));
        std::string why;
        if (!cameras_.back()->Start(&why))
            return fail("camera " + std::to_string(o.number) + " (" + o.bindAddress + "): " + why);
    }
    return true;
}

void Site::Stop()
{
    // Together: each waits out its own connections' bounded reads.
    std::vector<std::thread> stopping;
    for (auto& camera : cameras_)
        stopping.emplace_back([&camera] { camera->Stop(); });
    for (auto& thread : stopping)
        thread.join();
}

}  // namespace sim
