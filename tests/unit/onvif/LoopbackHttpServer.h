#pragma once
// A scripted HTTP/1.1 server on a loopback socket: each connection is served on
// its own thread, each request is recorded and answered with the raw bytes the
// test's handler returns (handlers must be thread-safe).

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

struct RecordedRequest {
    std::string head; // request line and headers
    std::string body;
    bool tls = false; // the connection began with a TLS handshake instead of HTTP

    std::string Header(const std::string& name) const {
        for (std::size_t pos = head.find("\r\n"); pos != std::string::npos; pos = head.find("\r\n", pos + 2))
            if (strncasecmp(head.c_str() + pos + 2, (name + ":").c_str(), name.size() + 1) == 0) {
                const std::size_t start = head.find_first_not_of(' ', pos + 3 + name.size());
                return head.substr(start, head.find("\r\n", start) - start);
            }
        return {};
    }
};

class LoopbackHttpServer {
public:
    // Handler results: raw response bytes, or one of these.
    static inline const std::string Hang = "\x01hang";   // keep the connection, answer nothing
    static inline const std::string Close = "\x01close"; // close without an answer

    using Handler = std::function<std::string(const RecordedRequest&)>;

    explicit LoopbackHttpServer(Handler handler, const char* address = "127.0.0.1", uint16_t port = 0)
        : m_handler(std::move(handler)) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        inet_pton(AF_INET, address, &addr.sin_addr);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(m_listener, 8) != 0) {
            close(m_listener);
            m_listener = -1;
            return;
        }
        socklen_t len = sizeof(addr);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~LoopbackHttpServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            close(m_listener);
    }

    bool Ok() const { return m_listener >= 0; }
    uint16_t Port() const { return m_port; }

    std::vector<RecordedRequest> Requests() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }
    int Connections() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_connections;
    }
    // Bounded wait for the n-th request to have arrived.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, limit, [&] { return m_requests.size() >= n; });
    }

private:
    // Waits up to 50 ms for the descriptor; false when the server stops.
    bool WaitReadable(int fd) {
        for (pollfd p{fd, POLLIN, 0}; !m_stop;)
            if (poll(&p, 1, 50) > 0)
                return true;
        return false;
    }

    void Record(RecordedRequest request) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(std::move(request));
        m_changed.notify_all();
    }

    void Serve() {
        while (WaitReadable(m_listener)) {
            int fd = accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_connections;
            m_workers.emplace_back([this, fd] {
                ServeConnection(fd);
                close(fd);
            });
        }
        for (std::thread& worker : m_workers)
            worker.join();
    }

    void ServeConnection(int fd) {
        std::string data;
        while (true) {
            std::size_t headEnd;
            while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
                if (!data.empty() && data[0] == '\x16') {
                    Record(RecordedRequest{data, {}, true});
                    return;
                }
                if (!ReadMore(fd, data))
                    return;
            }
            RecordedRequest request;
            request.head = data.substr(0, headEnd);
            const std::size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
            while (data.size() < headEnd + 4 + length)
                if (!ReadMore(fd, data))
                    return;
            request.body = data.substr(headEnd + 4, length);
            data.erase(0, headEnd + 4 + length);
            Record(request);

            const std::string response = m_handler(request);
            if (response == Close)
                return;
            if (response == Hang) {
                // Until the client gives up (or the server stops).
                while (ReadMore(fd, data))
                    continue;
                return;
            }
            if (send(fd, response.data(), response.size(), MSG_NOSIGNAL) < 0 ||
                response.find("Connection: close") != std::string::npos)
                return;
        }
    }

    bool ReadMore(int fd, std::string& data) {
        if (!WaitReadable(fd))
            return false;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return false;
        data.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    Handler m_handler;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<RecordedRequest> m_requests;
    std::vector<std::thread> m_workers;
    int m_connections = 0;
};

// "HTTP/1.1 <status>" with the body and a matching Content-Length.
inline std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders = {}) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extraHeaders + "\r\n" + body;
}
