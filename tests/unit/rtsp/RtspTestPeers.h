#pragma once
// Peers of the RTSP client: a scripted loopback RTSP server recording every request, and the client's owner and user.

#include "foundation/CEvent.h"
#include "rtsp/CBaseRTSPClient.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ScriptedRtspServer {
public:
    // The answer to one request; empty sends nothing.
    using Script = std::function<std::string(const std::string& request)>;

    explicit ScriptedRtspServer(Script script) : script_(std::move(script)), listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        ::listen(listener_, 4);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedRtspServer() { stop_ = true, thread_.join(), ::close(listener_); }

    std::uint16_t Port() const { return port_; }
    bool WaitForRequests(std::size_t n) { return Wait([&] { return requests_.size() >= n; }); }
    bool WaitForRequest(const std::string& method) {
        return Wait([&] { return !requests_.empty() && requests_.back().starts_with(method + " "); });
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    static std::string Answer(const std::string& request, const std::string& status = "200 OK",
                              const std::string& headers = "", const std::string& body = "") {
        const auto at = request.find("CSeq: ") + 6;
        std::string response = "RTSP/1.0 " + status + "\r\nCSeq: " + request.substr(at, request.find('\r', at) - at) +
                               "\r\n" + headers;
        if (!body.empty()) response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return response + "\r\n" + body;
    }

private:
    bool Wait(const std::function<bool()>& done) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), done);
    }
    bool WaitReadable(int fd) {
        for (pollfd pfd{fd, POLLIN, 0}; !stop_;)
            if (::poll(&pfd, 1, 20) > 0) return true;
        return false;
    }
    void Serve() {
        while (WaitReadable(listener_)) {
            const int connection = ::accept(listener_, nullptr, nullptr);
            std::string pending;
            char buffer[4096];
            ssize_t got;
            while (WaitReadable(connection) && (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0) {
                pending.append(buffer, static_cast<std::size_t>(got));
                for (auto end = pending.find("\r\n\r\n"); end != std::string::npos; end = pending.find("\r\n\r\n")) {
                    const std::string request = pending.substr(0, end + 4);
                    pending.erase(0, end + 4);
                    std::unique_lock<std::mutex> lock(mutex_);
                    requests_.push_back(request);
                    changed_.notify_all();
                    lock.unlock();
                    const std::string response = script_(request);
                    if (!response.empty()) ::send(connection, response.data(), response.size(), MSG_NOSIGNAL);
                }
            }
            ::close(connection);
        }
    }

    Script script_;
    int listener_;
    std::uint16_t port_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

struct TestOwner : velkora::IDebugMessage {
    std::string GetName() override { return "127.0.0.1:554"; }
    void DebugMessage(int32_t, const char*, ...) override {}
};

class TestUser : public velkora::IRTSPClientUser {
public:
    void OnRTCPBye() override {}
    void OnRTPPacket(const velkora::CRTPPacket&) override {}
    bool OnDescribe(const velkora::MediaDescription& media) override {
        std::lock_guard<std::mutex> lock(mutex_);
        media_ = media;
        return true;
    }
    void OnSetup(uint16_t rtpPort, uint16_t rtcpPort) override { serverPorts_ = rtpPort << 16 | rtcpPort; }
    void OnSessionClosed() override { closed_.Set(); }
    uint32_t ServerPorts() const { return serverPorts_; }
    bool WaitClosed() { return closed_.Wait(10000); }
    velkora::MediaDescription Media() {
        std::lock_guard<std::mutex> lock(mutex_);
        return media_;
    }

private:
    std::mutex mutex_;
    velkora::CManualEvent closed_;
    std::atomic<uint32_t> serverPorts_{0};
    velkora::MediaDescription media_;
};
