#pragma once

// Clients the integration tests talk to the simulator with: libcurl for HTTP,
// OpenSSL for the WS-Security and Digest sums, raw sockets for RTSP and RTP.
#include "sim/Simulator.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
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
    if (post) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post->c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }
    if (!userpwd.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, userpwd.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* out) {
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

inline std::string Base64(const std::string& bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

inline std::string Md5Hex(const std::string& text)
{
    unsigned char d[16];
    unsigned len = 0;
    EVP_Digest(text.data(), text.size(), d, &len, EVP_md5(), nullptr);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

// A SOAP 1.2 request with a PasswordDigest token, built the way cameras expect it.
inline std::string SoapRequest(const std::string& body, const std::string& password, bool digest = true,
                               const std::string& user = "admin")
{
    const std::string nonce = "sim-test-nonce-1", created = "2026-01-01T00:00:00Z";
    std::string pw;
    if (digest) {
        const std::string all = nonce + created + password;
        unsigned char sha[20];
        unsigned len = 0;
        EVP_Digest(all.data(), all.size(), sha, &len, EVP_sha1(), nullptr);
        pw = "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
             "#PasswordDigest\">" + Base64(std::string(reinterpret_cast<char*>(sha), 20)) + "</wsse:Password>"
             "<wsse:Nonce>" + Base64(nonce) + "</wsse:Nonce><wsu:Created>" + created + "</wsu:Created>";
    } else {
        pw = "<wsse:Password>" + password + "</wsse:Password>";
    }
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
           "<s:Header><wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
           " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
           "<wsse:UsernameToken><wsse:Username>" + user + "</wsse:Username>" + pw +
           "</wsse:UsernameToken></wsse:Security></s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

// True when xmllint, a parser nobody here wrote, accepts the text.
inline bool XmllintAccepts(const std::string& xml)
{
    char path[] = "/tmp/sim-xmllint-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, xml.data(), xml.size()) != static_cast<ssize_t>(xml.size())) return false;
    close(fd);
    const int rc = std::system(("xmllint --noout --nonet " + std::string(path) + " 2>/dev/null").c_str());
    unlink(path);
    return rc == 0;
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
        started = sim.Start(&error);
        EXPECT_TRUE(started) << error;
    }
    sim::Simulator sim;
    bool started = false;
};

// One RTSP connection over a plain TCP socket.
class RtspConnection {
public:
    explicit RtspConnection(std::uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        connectErrno_ = connected_ ? 0 : errno;
    }
    ~RtspConnection() { close(fd_); }
    bool Connected() const { return connected_; }
    int ConnectError() const { return connectErrno_; }

    bool Send(const std::string& text) { return send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size()); }

    // Reads one response (headers and Content-Length body); empty on close or after 5 s.
    std::string Receive()
    {
        for (;;) {
            const auto end = buffer_.find("\r\n\r\n");
            if (end != std::string::npos) {
                std::size_t length = 0;
                if (auto cl = buffer_.find("Content-Length: "); cl != std::string::npos && cl < end)
                    length = std::stoul(buffer_.substr(cl + 16));
                if (buffer_.size() >= end + 4 + length) {
                    std::string r = buffer_.substr(0, end + 4 + length);
                    buffer_.erase(0, end + 4 + length);
                    return r;
                }
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) return {};
            char chunk[4096];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closed_ = true;
                std::string rest;
                rest.swap(buffer_);
                return rest;
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    bool Closed() const { return closed_; }

    std::string Request(const std::string& method, const std::string& url, const std::string& headers = "")
    {
        Send(method + " " + url + " RTSP/1.0\r\nCSeq: " + std::to_string(++cseq_) + "\r\n" + headers + "\r\n");
        return Receive();
    }

private:
    int fd_ = -1;
    bool connected_ = false, closed_ = false;
    int connectErrno_ = 0;
    unsigned cseq_ = 0;
    std::string buffer_;
};

inline std::string HeaderValue(const std::string& response, const std::string& name)
{
    const auto at = response.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const auto start = at + 4 + name.size();
    return response.substr(start, response.find("\r\n", start) - start);
}

inline int StatusOf(const std::string& response)
{
    return response.compare(0, 9, "RTSP/1.0 ") == 0 ? std::atoi(response.c_str() + 9) : 0;
}

// A UDP socket on a free loopback port.
class UdpSocket {
public:
    UdpSocket()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
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
        if (poll(&p, 1, timeoutMs) <= 0) return {};
        std::vector<std::uint8_t> d(65536);
        sockaddr_in f{};
        socklen_t len = sizeof f;
        const ssize_t n = recvfrom(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&f), &len);
        if (from) *from = f;
        d.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return d;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace simtest
