#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velkora {
namespace Onvif {

// One device as its WS-Discovery answers describe it.
struct DiscoveredDevice {
    std::string endpoint;             // EndpointReference address: the device's identity
    std::vector<std::string> xaddrs;  // its service addresses
    std::vector<std::string> scopes;
    std::string model, name;  // from the hardware/ and name/ scopes, percent-decoded
    bool videoTransmitter = false;

    // The address to open the device with: the first XAddr this driver can serve, else
    // the first one.
    std::string DeviceAddress() const;
    // An ONVIF video transmitter answering plain HTTP at the device service path the
    // driver uses.
    bool Served() const;
};

// A Probe for network video transmitters.
std::string ProbeMessage(const std::string& messageId);

// The devices of every answer read so far, one entry per endpoint. Answers are
// untrusted: bounded in size, count and text length, parsed without DTD or network.
class DiscoveredDevices
{
public:
    static constexpr std::size_t kMaxAnswer = 65507;  // one UDP datagram
    static constexpr std::size_t kMaxDevices = 512;
    static constexpr std::size_t kMaxMatchesPerAnswer = 16;
    static constexpr std::size_t kMaxText = 1024;  // longer texts are dropped
    static constexpr std::size_t kMaxItems = 32;   // XAddrs and scopes per device

    // `messageId`: the probe's; an answer relating to another message is ignored.
    explicit DiscoveredDevices(std::string messageId = {}) : messageId(std::move(messageId)) {}

    // The number of matches taken from one answer.
    std::size_t Add(const std::string& answer);
    const std::vector<DiscoveredDevice>& Devices() const { return devices; }
    // Answers named more devices than are kept.
    bool Overflowed() const { return overflowed; }

private:
    void Merge(DiscoveredDevice device);

    std::string messageId;
    std::vector<DiscoveredDevice> devices;
    bool overflowed = false;
};

}  // namespace Onvif
}  // namespace velkora
