#pragma once
// A scripted HTTP/1.1 (or RTSP/1.0) server on loopback: one thread per connection, every
// request recorded, then answered with the raw bytes the (thread-safe) handler returns.

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
    std::string head;  // request line and headers
    std::string body;
    bool tls = false;  // the connection began with a TLS handshake instead of HTTP

    std::string Header(const std::string& name) const
    {
        for (std::size_t pos = head.find("\r\n"); pos != std::string::npos; pos = head.find("\r\n", pos + 2))
            if (strncasecmp(head.c_str() + pos + 2, (name + ":").c_str(), name.size() + 1) == 0) {
                const std::size_t start = head.find_first_not_of(' ', pos + 3 + name.size());
                return head.substr(start, head.find("\r\n", start) - start);
            }
        return {};
    }
};

class LoopbackHttpServer
{
public:
    static inline const std::string Hang = "\x01hang";  // handler result: keep the connection, answer nothing
    using Handler = std::function<std::string(const RecordedRequest&)>;

    explicit LoopbackHttpServer(Handler handler, const char* address = "127.0.0.1", uint16_t port = 0)
        : m_handler(std::move(handler)), m_listener(socket(AF_INET, SOCK_STREAM, 0))
    {
        int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in addr{AF_INET, htons(port), {}, {}};
        inet_pton(AF_INET, address, &addr.sin_addr);
        socklen_t len = sizeof(addr);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(m_listener, 8) != 0) {
            close(m_listener);
            m_listener = -1;
            return;
        }
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~LoopbackHttpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            close(m_listener);
    }

    bool Ok() const { return m_listener >= 0; }
    uint16_t Port() const { return m_port; }
    std::vector<RecordedRequest> Requests()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }
    int Connections()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_connections;
    }
    // Bounded wait until `done` holds for the requests so far.
    bool WaitUntil(const std::function<bool(const std::vector<RecordedRequest>&)>& done)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10), [&] { return done(m_requests); });
    }
    bool WaitForRequests(std::size_t n)
    {
        return WaitUntil([n](const auto& requests) { return requests.size() >= n; });
    }

private:
    bool WaitReadable(int fd)
    {
        for (pollfd p{fd, POLLIN, 0}; !m_stop;)
            if (poll(&p, 1, 20) > 0)
                return true;
        return false;
    }

    void Record(const RecordedRequest& request)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(request);
        m_changed.notify_all();
    }

    void Serve()
    {
        while (WaitReadable(m_listener)) {
            const int fd = accept(m_listener, nullptr, nullptr);
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_connections;
            m_workers.emplace_back([this, fd] { ServeConnection(fd), close(fd); });
        }
        for (std::thread& worker : m_workers)
            worker.join();
    }

    void ServeConnection(int fd)
    {
        for (std::string data;;) {
            std::size_t headEnd;
            while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
                if (!data.empty() && data[0] == '\x16')
                    return Record(RecordedRequest{data, {}, true});
                if (!ReadMore(fd, data))
                    return;
            }
            RecordedRequest request{data.substr(0, headEnd), {}, false};
            const std::size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
            while (data.size() < headEnd + 4 + length)
                if (!ReadMore(fd, data))
                    return;
            request.body = data.substr(headEnd + 4, length);
            data.erase(0, headEnd + 4 + length);
            Record(request);

            const std::string response = m_handler(request);
            if (response == Hang) {  // until the client gives up or the server stops
                while (ReadMore(fd, data))
                    continue;
                return;
            }
            if (send(fd, response.data(), response.size(), MSG_NOSIGNAL) < 0 ||
                response.find("Connection: close") != std::string::npos)
                return;
        }
    }

    bool ReadMore(int fd, std::string& data)
    {
        char buffer[4096];
        const ssize_t n = WaitReadable(fd) ? recv(fd, buffer, sizeof(buffer), 0) : 0;
        if (n > 0)
            data.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    }

    Handler m_handler;
    int m_listener;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<RecordedRequest> m_requests;
    std::vector<std::thread> m_workers;
    int m_connections = 0;
};

inline std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders = {})
{
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           extraHeaders + "\r\n" + body;
}
