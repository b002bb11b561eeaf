#pragma once

// Clients the integration tests talk to the simulator with: libcurl for HTTP,
// OpenSSL for the WS-Security and Digest sums, raw sockets for RTSP and RTP.
#include "sim/Simulator.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace simtest {

struct HttpResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

inline HttpResult Http(const std::string& url, const std::string* post, const std::string& userpwd = "",
                       long timeoutMs = 5000)
{
    HttpResult r;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/soap+xml; charset=utf-8");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (post)
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post->c_str());
    if (!userpwd.empty())
        curl_easy_setopt(curl, CURLOPT_USERPWD, userpwd.c_str());  // Basic is curl's default
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* out) {
            static_cast<std::string*>(out)->append(p, s * n);
            return s * n;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r.body);
    r.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return r;
}

// Raw digest bytes of `text` with an OpenSSL algorithm.
inline std::string Digest(const std::string& text, const EVP_MD* md)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_Digest(text.data(), text.size(), d, &len, md, nullptr);
    return std::string(reinterpret_cast<char*>(d), len);
}

inline std::string Md5Hex(const std::string& text)
{
    std::string hex;
    for (unsigned char c : Digest(text, EVP_md5()))
        hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    return hex;
}

inline std::string Base64(const std::string& bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    out.resize(static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                                        static_cast<int>(bytes.size()))));
    return out;
}

// A SOAP 1.2 request with a PasswordDigest (or PasswordText) token, built the way cameras expect it.
inline std::string SoapRequest(const std::string& body, const std::string& password, bool digest = true,
                               const std::string& user = "admin")
{
    const std::string nonce = "sim-test-nonce-1", created = "2026-01-01T00:00:00Z";
    const std::string pw =
        digest
            ? "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
              "#PasswordDigest\">" +
                  Base64(Digest(nonce + created + password, EVP_sha1())) +
                  "</wsse:Password>"
                  "<wsse:Nonce>" +
                  Base64(nonce) + "</wsse:Nonce><wsu:Created>" + created + "</wsu:Created>"
            : "<wsse:Password>" + password + "</wsse:Password>";
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
           "<s:Header><wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
           " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
           "<wsse:UsernameToken><wsse:Username>" +
           user + "</wsse:Username>" + pw + "</wsse:UsernameToken></wsse:Security></s:Header><s:Body>" + body +
           "</s:Body></s:Envelope>";
}

// True when xmllint, a parser nobody here wrote, accepts the text.
inline bool XmllintAccepts(const std::string& xml)
{
    char path[] = "/tmp/sim-xmllint-XXXXXX";
    const int fd = mkstemp(path);
    const bool written = fd >= 0 && write(fd, xml.data(), xml.size()) == static_cast<ssize_t>(xml.size());
    if (fd >= 0)
        close(fd);
    const bool ok =
        written && std::system(("xmllint --noout --nonet " + std::string(path) + " 2>/dev/null").c_str()) == 0;
    unlink(path);
    return ok;
}

inline sim::SimulatorOptions FreePorts()
{
    sim::SimulatorOptions o;
    o.httpPort = o.rtspPort = o.ptzPort = 0;
    return o;
}

// A started simulator, stopped at the end of the test.
struct RunningSim {
    explicit RunningSim(sim::SimulatorOptions o = FreePorts()) : sim(o)
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

// One RTSP connection over a plain TCP socket.
class RtspConnection
{
public:
    explicit RtspConnection(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0))
    {
        const sockaddr_in a = Loopback(port);
        connectErrno_ = connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
    }
    ~RtspConnection() { close(fd_); }
    // 0 once connected.
    int ConnectError() const { return connectErrno_; }
    bool Closed() const { return closed_; }
    bool Send(const std::string& text)
    {
        return send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // Reads one response (headers and Content-Length body); what is left on close, empty after 5 s.
    std::string Receive()
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
            if (poll(&p, 1, 5000) <= 0)
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

inline int StatusOf(const std::string& response)
{
    return response.compare(0, 9, "RTSP/1.0 ") == 0 ? std::atoi(response.c_str() + 9) : 0;
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
