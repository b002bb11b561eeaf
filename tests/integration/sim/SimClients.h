#pragma once

// Clients the integration tests talk to the simulator with: raw sockets for RTSP, HTTP
// and RTP, OpenSSL for the Digest sums.
#include "support/SimCamera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace simtest {

inline std::string Md5Hex(const std::string& text)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_Digest(text.data(), text.size(), d, &len, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned i = 0; i < len; ++i)
        hex += "0123456789abcdef"[d[i] >> 4], hex += "0123456789abcdef"[d[i] & 15];
    return hex;
}

// A started simulator, stopped at the end of the test.
struct RunningSim {
    explicit RunningSim(sim::SimulatorOptions o = FreePortOptions()) : sim(o)
    {
        std::string error;
        EXPECT_TRUE(sim.Start(&error)) << error;
    }
    sim::Simulator sim;
};

inline sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// One RTSP or HTTP connection over a plain TCP socket.
class TcpConnection
{
public:
    explicit TcpConnection(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0))
    {
        const sockaddr_in a = Loopback(port);
        connectErrno_ = connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
    }
    ~TcpConnection() { close(fd_); }
    // 0 once connected.
    int ConnectError() const { return connectErrno_; }
    bool Closed() const { return closed_; }
    bool Send(const std::string& text)
    {
        return send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // Reads one response (headers and Content-Length body); what is left on close, empty after `timeoutMs`.
    std::string Receive(int timeoutMs = 5000)
    {
        for (;;) {
            if (const auto end = buffer_.find("\r\n\r\n"); end != std::string::npos) {
                const auto cl = buffer_.find("Content-Length: ");
                const std::size_t size = end + 4 + (cl < end ? std::stoul(buffer_.substr(cl + 16)) : 0);
                if (buffer_.size() >= size) {
                    std::string r = buffer_.substr(0, size);
                    buffer_.erase(0, size);
                    return r;
                }
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return {};
            char chunk[4096];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closed_ = true;
                return std::exchange(buffer_, {});
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    std::string Request(const std::string& method, const std::string& url, const std::string& headers = "")
    {
        Send(method + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(++cseq_) + "\r\n" + headers + "\r\n");
        return Receive();
    }

private:
    int fd_;
    int connectErrno_ = 0;
    bool closed_ = false;
    unsigned cseq_ = 0;
    std::string buffer_;
};

inline std::string HeaderValue(const std::string& response, const std::string& name)
{
    const auto at = response.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return {};
    const auto start = at + 4 + name.size();
    return response.substr(start, response.find("\r\n", start) - start);
}

// The status of an RTSP or HTTP response; 0 when there is none.
inline int StatusOf(const std::string& response)
{
    for (const char* version : {"RTSP/1.0 ", "HTTP/1.1 ", "HTTP/1.0 "})
        if (response.compare(0, 9, version) == 0)
            return std::atoi(response.c_str() + 9);
    return 0;
}

// A UDP socket on a free loopback port.
class UdpSocket
{
public:
    UdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in a = Loopback(0);
        socklen_t len = sizeof a;
        bind(fd_, reinterpret_cast<sockaddr*>(&a), len);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        const int size = 4 << 20;
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    ~UdpSocket() { close(fd_); }
    std::uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }

    // One datagram, or empty after `timeoutMs`.
    std::vector<std::uint8_t> Receive(int timeoutMs = 3000, sockaddr_in* from = nullptr)
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        std::vector<std::uint8_t> d(65536);
        sockaddr_in f{};
        socklen_t len = sizeof f;
        const ssize_t n = recvfrom(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&f), &len);
        if (from)
            *from = f;
        d.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return d;
    }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

}  // namespace simtest
