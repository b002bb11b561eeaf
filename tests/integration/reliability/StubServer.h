#pragma once
// A TCP peer that misbehaves on purpose: it accepts and then answers every request
// with a fixed reply, or never answers at all.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace reliability {

class StubServer
{
public:
    // An empty reply means: accept, read, and never answer.
    explicit StubServer(std::string reply = {});
    ~StubServer();
    StubServer(const StubServer&) = delete;
    StubServer& operator=(const StubServer&) = delete;

    uint16_t Port() const { return port_; }
    int Connections() const { return connections_.load(); }

private:
    void Serve();

    std::string reply_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

// An HTTP 200 answer carrying `body` as SOAP.
std::string SoapReply(const std::string& body);

}  // namespace reliability
