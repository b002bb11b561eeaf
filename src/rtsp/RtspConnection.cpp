#include "rtsp/RtspConnection.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/KeyValueLookup.h"
#include "rtsp/TextScan.h"

namespace velkora {

namespace {

// Longest single wait, so that a shortened time-out is noticed.
constexpr std::uint32_t kPollStepMs = 100;

bool SetTimeout(int fd, int option, std::uint32_t ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

bool SetNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

}  // namespace

void RtspConnection::Close()
{
    std::lock_guard<std::mutex> guard(sendMutex_);
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

void RtspConnection::SetReceiveTimeout(std::uint32_t ms)
{
    receiveTimeoutMs_ = ms;
}

bool RtspConnection::Connect(const RTSPSessionSettings& settings, std::string& failure)
{
    Close();
    sendTimeoutMs_ = settings.sendTimeoutMs;
    receiveTimeoutMs_ = settings.receiveTimeoutMs;
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) {
        failure = std::strerror(errno);
        return false;
    }
    auto fail = [&](std::string why) {
        ::close(fd);
        if (!why.empty())
            why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
        failure = why;
        return false;
    };
    const int bufferSize = static_cast<int>(std::min<std::uint32_t>(settings.receiveBufferSize, INT32_MAX));
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) != 0 ||
        !SetTimeout(fd, SO_SNDTIMEO, settings.sendTimeoutMs)) {
        return fail(std::strerror(errno));
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (settings.host.empty() || getaddrinfo(settings.host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return fail("host name not resolved");
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    address.sin_port = htons(settings.rtspPort);

    if (!SetNonBlocking(fd, true))
        return fail(std::strerror(errno));
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    int error = connected ? 0 : errno;
    if (!connected && errno == EINPROGRESS) {
        error = ETIMEDOUT;
        const std::uint32_t steps = settings.connectTimeoutMs / kPollStepMs;
        for (std::uint32_t step = 0; step < steps; ++step) {
            pollfd pfd{fd, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(kPollStepMs));
            if (ready < 0 && errno != EINTR) {
                error = errno;
                break;
            }
            if (ready > 0) {
                // Linux also reports a refused connection as writable: ask for the outcome.
                int outcome = 0;
                socklen_t length = sizeof outcome;
                connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &outcome, &length) == 0 && outcome == 0;
                error = outcome;
                break;
            }
        }
    }
    if (!connected || !SetNonBlocking(fd, false)) {
        return fail(error == ETIMEDOUT ? "no answer within " + std::to_string(settings.connectTimeoutMs) + " ms"
                                       : std::string(std::strerror(error)));
    }
    std::lock_guard<std::mutex> guard(sendMutex_);
    socket_ = fd;
    readWaitMs_ = 0;  // the new socket's receive time-out is unset
    return true;
}

std::uint32_t RtspConnection::WaitLeft(std::uint64_t& deadline) const
{
    const std::uint64_t now = MonotonicMs();
    deadline = std::min(deadline, now + receiveTimeoutMs_.load());
    if (now >= deadline)
        return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, kPollStepMs));
}

bool RtspConnection::Send(const char* data, std::size_t size, std::uint64_t deadline)
{
    std::lock_guard<std::mutex> guard(sendMutex_);
    deadline = std::min(deadline, MonotonicMs() + sendTimeoutMs_);
    while (size > 0 && socket_ >= 0) {
        const ssize_t sent = ::send(socket_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const std::uint64_t now = MonotonicMs();
        if (now >= deadline)
            return false;
        pollfd pfd{socket_, POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(std::min<std::uint64_t>(deadline - now, kPollStepMs)));
    }
    return size == 0;
}

long RtspConnection::Read(void* buffer, std::size_t size, std::uint32_t waitMs)
{
    // The wait is the socket's own receive time-out, so that a read costs one system call:
    // an interleaved stream wakes this thread once per packet or so, and a poll before
    // each recv made TCP cost half as much again as UDP per frame. The time-out is set
    // only when the wait asked for changes (the streaming loop always asks the same).
    int flags = 0;
    if (waitMs == 0) {
        flags = MSG_DONTWAIT;
    } else if (readWaitMs_ != waitMs) {
        if (!SetTimeout(socket_, SO_RCVTIMEO, waitMs))
            return -1;
        readWaitMs_ = waitMs;
    }
    const ssize_t got = ::recv(socket_, buffer, size, flags);
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    return got == 0 ? -1 : static_cast<long>(got);
}

bool RtspConnection::ReceiveResponse(std::string& response, std::uint64_t deadline, const std::function<bool()>& giveUp)
{
    response.clear();
    std::size_t headerEnd = std::string::npos;
    std::size_t expected = kMaxHeaderSize;
    char buffer[4096];
    while (response.size() < expected && !giveUp()) {
        const std::uint32_t wait = WaitLeft(deadline);
        if (wait == 0)
            break;
        // Before the header end is known read small pieces, so the body of this
        // response is not read beyond what the header announces.
        const std::size_t want =
            std::min(sizeof buffer, headerEnd == std::string::npos ? std::size_t(512) : expected - response.size());
        const long got = Read(buffer, want, wait);
        if (got < 0)
            break;
        response.append(buffer, static_cast<std::size_t>(got));
        if (got == 0 || headerEnd != std::string::npos)
            continue;
        headerEnd = response.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            const std::string headers = ToLower(std::string_view(response).substr(0, headerEnd + 2));
            const std::uint32_t length = StrictUnsigned(LookupDelimitedValue(headers, "content-length", ": ", "\r\n"));
            expected = std::min<std::size_t>(headerEnd + 4 + std::size_t(length), kMaxResponseSize);
        } else if (response.size() >= kMaxHeaderSize) {
            return false;  // no end of the header block within the bound
        }
    }
    return !response.empty();
}

}  // namespace velkora
