#pragma once
// Where and how to reach a device. Every network component works on its own
// copy. Header-only, so that every subsystem can copy one without linking
// the driver.

#include <cstdint>
#include <string>
#include <utility>

namespace velkora {

// How a stream's RTP travels: UDP first and TCP (inside the RTSP connection) when UDP
// does not reach us, or always one of them.
enum class RtspTransport
{
    Auto,
    Udp,
    Tcp,
};

struct DEVICE_INFO {
    DEVICE_INFO() = default;
    // Time-outs always start at 5000/15000 and the model empty.
    DEVICE_INFO(std::string host, uint16_t port, std::string user, std::string password)
        : host(std::move(host)), port(port), user(std::move(user)), password(std::move(password))
    {
    }
    DEVICE_INFO(const DEVICE_INFO&) = default;
    DEVICE_INFO& operator=(const DEVICE_INFO&) = default;
    // A copy addressing another port (the PTZ CGI).
    DEVICE_INFO(const DEVICE_INFO& other, uint16_t port) : DEVICE_INFO(other) { this->port = port; }
    virtual ~DEVICE_INFO() = default;

    uint32_t requestTimeout = 5000;  // ms: HTTP exchanges; twice it bounds a capture thread's stop
    uint32_t streamTimeout = 15000;  // ms: half without frames is a lost stream
    std::string host;
    uint16_t port = 80;  // HTTP/ONVIF; TLS when 443
    std::string user;
    std::string password;
    std::string model;
    RtspTransport rtspTransport = RtspTransport::Auto;  // from HARNOQUISTEL_RTSP_TRANSPORT at open
    // From HARNOQUISTEL_PLAINTEXT_PASSWORD=never at open: the password never leaves in clear
    // (no WS-Security PasswordText, no HTTP or RTSP Basic), whatever the device asks.
    bool neverPlaintextPassword = false;
    std::string caFile;  // from HARNOQUISTEL_CA_FILE at open: HTTPS certificates are verified against it
};

}  // namespace velkora
