#pragma once
// A loopback TCP listener that plays an RTSP server from a script: every request it
// receives is recorded, and the script's answer (possibly none) is sent back.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedRtspServer {
public:
    // Returns the response to a request; empty sends nothing.
    using Script = std::function<std::string(const std::string& request, std::size_t index)>;

    explicit ScriptedRtspServer(Script script) : script_(std::move(script)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen");
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedRtspServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    std::uint16_t Port() const { return port_; }

    // Bounded wait for at least n requests; false when they did not come.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return requests_.size() >= n; });
    }

    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    // "CSeq" value of a request, for echoing.
    static std::string CSeqOf(const std::string& request) {
        const auto at = request.find("CSeq: ");
        if (at == std::string::npos) return "0";
        return request.substr(at + 6, request.find("\r\n", at) - at - 6);
    }

    static std::string Answer(const std::string& request, const std::string& status = "200 OK",
                              const std::string& headers = "", const std::string& body = "") {
        std::string response = "RTSP/1.0 " + status + "\r\nCSeq: " + CSeqOf(request) + "\r\n" + headers;
        if (!body.empty()) response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return response + "\r\n" + body;
    }

private:
    bool WaitReadable(int fd) {
        while (!stop_) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) return true;
        }
        return false;
    }

    void Serve() {
        while (WaitReadable(listener_)) {
            const int connection = ::accept(listener_, nullptr, nullptr);
            if (connection < 0) continue;
            std::string pending;
            char buffer[2048];
            while (WaitReadable(connection)) {
                const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                pending.append(buffer, static_cast<std::size_t>(got));
                for (auto end = pending.find("\r\n\r\n"); end != std::string::npos; end = pending.find("\r\n\r\n")) {
                    const std::string request = pending.substr(0, end + 4);
                    pending.erase(0, end + 4);
                    std::size_t index;
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        index = requests_.size();
                        requests_.push_back(request);
                    }
                    const std::string response = script_(request, index);
                    if (!response.empty()) ::send(connection, response.data(), response.size(), MSG_NOSIGNAL);
                    changed_.notify_all();
                }
            }
            ::close(connection);
        }
    }

    Script script_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
