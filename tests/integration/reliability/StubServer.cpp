#include "StubServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace reliability {

StubServer::StubServer(std::string reply) : reply_(std::move(reply))
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

StubServer::~StubServer()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        close(listener_);
}

void StubServer::Serve()
{
    std::vector<int> peers;
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (int peer : peers)
            fds.push_back({peer, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            int peer = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer >= 0) {
                ++connections_;
                // Bounded sends, so a peer that stops reading cannot hold the stop.
                timeval timeout{0, 200000};
                setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
                peers.push_back(peer);
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t got = recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                close(fds[i].fd);
                std::erase(peers, fds[i].fd);
                continue;
            }
            // One reply per request head; a reply may be larger than the socket buffer.
            if (!reply_.empty() &&
                std::string(buffer, static_cast<size_t>(got)).find("\r\n\r\n") != std::string::npos) {
                size_t sent = 0;
                while (sent < reply_.size() && !stop_) {
                    ssize_t n = send(fds[i].fd, reply_.data() + sent, reply_.size() - sent, MSG_NOSIGNAL);
                    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                        continue;
                    if (n <= 0)
                        break;
                    sent += static_cast<size_t>(n);
                }
            }
        }
    }
    for (int peer : peers)
        close(peer);
}

std::string SoapReply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace reliability
