#pragma once
// Byte helpers for packets, and a UDP socket on a loopback address and a free port, playing the camera.

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "unit/foundation/RecordingOwner.h"

namespace rtptest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// `value` big-endian into `size` bytes of `out` from `at`.
inline void PutBigEndian(Bytes& out, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
}

// An RTP datagram: a 12-byte header (no CSRC, extension or padding), then `payload`
// bytes of 0x41. `byte1` holds the marker bit and the payload type.
inline Bytes RtpDatagram(uint8_t byte1, uint16_t sequence, uint32_t timestamp, uint32_t ssrc, size_t payload = 1,
                         uint8_t version = 2)
{
    Bytes d(12 + payload, 0x41);
    d[0] = static_cast<uint8_t>(version << 6);
    d[1] = byte1;
    PutBigEndian(d, 2, sequence, 2);
    PutBigEndian(d, 4, timestamp, 4);
    PutBigEndian(d, 8, ssrc, 4);
    return d;
}

class LoopbackSocket
{
public:
    explicit LoopbackSocket(const char* address = "127.0.0.1") : fd_(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in local{AF_INET, 0, {inet_addr(address)}, {}};
        socklen_t length = sizeof local;
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
        timeval bound{5, 0};  // no receive of a test waits longer
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    }
    ~LoopbackSocket() { close(fd_); }
    uint16_t Port() const { return port_; }
    bool SendTo(uint16_t port, const Bytes& data)
    {
        sockaddr_in to{AF_INET, htons(port), {inet_addr("127.0.0.1")}, {}};
        return sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
               static_cast<ssize_t>(data.size());
    }
    // One datagram; `wait` false only takes what has already arrived.
    bool Receive(Bytes& out, bool wait = true)
    {
        out.resize(65536);
        const ssize_t n = recv(fd_, out.data(), out.size(), wait ? 0 : MSG_DONTWAIT);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return n > 0;
    }

private:
    int fd_;
    uint16_t port_ = 0;
};

}  // namespace rtptest
