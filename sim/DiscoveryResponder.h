#pragma once

#include "sim/RequestLog.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// What a ProbeMatch tells about the camera.
struct DiscoveryIdentity {
    std::string endpoint;  // urn:uuid:..., stable for the process
    std::string xaddr;     // the device service address
    std::vector<std::string> scopes;
};

// Answers WS-Discovery Probes for network video transmitters (or for anything) with
// a ProbeMatch sent back to the asker: on a unicast UDP port always, and on the
// discovery multicast group where the interface of the bound address allows it.
class DiscoveryResponder
{
public:
    DiscoveryResponder(DiscoveryIdentity identity, RequestLog& log);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    // Binds address:port (0: a free port); false with `error` when that fails.
    bool Start(const std::string& address, std::uint16_t port, std::string* error);
    void Stop();
    std::uint16_t Port() const { return port_; }
    bool Multicast() const { return multicastFd_ >= 0; }

    // The ProbeMatches for one datagram; empty when it is not a Probe this camera matches.
    std::string Answer(const std::string& datagram);

    static constexpr const char* kGroup = "239.255.255.250";
    static constexpr std::size_t kMaxDatagram = 65507;

private:
    void Run();

    DiscoveryIdentity identity_;
    RequestLog& log_;
    int unicastFd_ = -1, multicastFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<unsigned> messageNumber_{0};
    std::thread thread_;
};

}  // namespace sim
