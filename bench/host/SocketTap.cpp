#include "SocketTap.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string.h>
#include <mutex>

#include "sim/SendTimes.h"

namespace benchhost {
namespace {

struct AtomicPort {
    std::atomic<uint64_t> framesSent{0}, framesSentInWindow{0};
    std::atomic<int64_t> lastMarker{0};  // ns << 1 | in window
    std::atomic<bool> seen{false};
    std::atomic<int64_t> first{0};
};

std::array<AtomicPort, 65536> ports;
std::atomic<bool> windowOpen{false};
std::mutex eventsMutex;
std::vector<TapRecord> events;
std::vector<uint16_t> rtpPorts;
struct {
    const sim::SendTimesEntry* entries = nullptr;
    std::array<std::atomic<uint64_t>, sim::kSendTimesEntries> framesAtOpen, framesAtClose;  // at the window's edges
    std::atomic<int64_t> openNs{0}, closeNs{0};
} board;

void Note(TapEvent event)
{
    std::lock_guard lock(eventsMutex);
    events.push_back({event, NowNs()});
}

void Observe(int fd, const void* data, size_t length, const sockaddr* to, int sockType)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    // RTP interleaved in an RTSP connection: the simulator sends "$" frames whole, one or a
    // frame's worth per write. Keyed by the receiving side's port, as a datagram is by its
    // destination port.
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (sockType == SOCK_STREAM && length >= 16 && bytes[0] == '$' && bytes[1] % 2 == 0 &&
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0) {
        for (size_t at = 0; length - at >= 16 && bytes[at] == '$';) {
            const size_t size = std::min<size_t>((size_t{bytes[at + 2]} << 8) | bytes[at + 3], length - at - 4);
            if (bytes[at + 1] % 2 == 0)
                Observe(-1, bytes + at + 4, size, reinterpret_cast<const sockaddr*>(&peer), SOCK_DGRAM);
            at += 4 + size;
        }
        return;
    } else if (sockType == SOCK_STREAM) {
        if (length >= 5 && std::memcmp(bytes, "POST ", 5) == 0)
            Note(TapEvent::OnvifRequest);
        else if (length >= 8 && std::memcmp(bytes, "RTSP/1.0", 8) != 0 && ::memmem(bytes, length, "RTSP/1.0", 8))
            Note(TapEvent::RtspRequest);
        return;
    }
    // RTP version 2, the simulator's dynamic payload type 96.
    if (to == nullptr || to->sa_family != AF_INET || length < 12 || (bytes[0] & 0xc0) != 0x80 ||
        (bytes[1] & 0x7f) != 96)
        return;
    const uint16_t port = ntohs(reinterpret_cast<const sockaddr_in*>(to)->sin_port);
    AtomicPort& p = ports[port];
    if (!p.seen.exchange(true)) {
        p.first.store(NowNs());
        Note(TapEvent::FirstRtp);
        std::lock_guard lock(eventsMutex);
        rtpPorts.push_back(port);
    }
    if (bytes[1] & 0x80) {
        const bool inWindow = windowOpen.load(std::memory_order_relaxed);
        p.framesSent.fetch_add(1, std::memory_order_relaxed);
        if (inWindow)
            p.framesSentInWindow.fetch_add(1, std::memory_order_relaxed);
        p.lastMarker.store(NowNs() << 1 | (inWindow ? 1 : 0), std::memory_order_release);
    }
}

int SocketType(int fd)
{
    int type = 0;
    socklen_t length = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 ? type : 0;
}

}  // namespace

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void UseSendTimes(const void* entries)
{
    board.entries = static_cast<const sim::SendTimesEntry*>(entries);
}

PortTap ReadPort(uint16_t port)
{
    if (board.entries) {
        const sim::SendTimesEntry& e = board.entries[port];
        const int64_t last = e.lastNs.load(std::memory_order_acquire);
        const uint64_t frames = e.frames.load();
        const int64_t open = board.openNs.load(), close = board.closeNs.load();
        const uint64_t atOpen = open ? board.framesAtOpen[port].load() : frames;
        const uint64_t atClose = close ? board.framesAtClose[port].load() : frames;
        return {frames, atClose - atOpen, last, open != 0 && last >= open && (close == 0 || last < close),
                e.firstNs.load()};
    }
    const AtomicPort& p = ports[port];
    const int64_t last = p.lastMarker.load(std::memory_order_acquire);
    return {p.framesSent.load(), p.framesSentInWindow.load(), last >> 1, (last & 1) != 0, p.first.load()};
}

std::vector<uint16_t> RtpPorts()
{
    if (board.entries) {
        std::vector<std::pair<int64_t, uint16_t>> seen;
        for (size_t port = 0; port < sim::kSendTimesEntries; ++port)
            if (const int64_t first = board.entries[port].firstNs.load())
                seen.emplace_back(first, static_cast<uint16_t>(port));
        std::sort(seen.begin(), seen.end());
        std::vector<uint16_t> ports;
        for (const auto& [first, port] : seen)
            ports.push_back(port);
        return ports;
    }
    std::lock_guard lock(eventsMutex);
    return rtpPorts;
}

void SetWindow(bool open)
{
    if (board.entries) {
        // The board's frame counts at each edge: the frames the simulator sent inside.
        auto& frames = open ? board.framesAtOpen : board.framesAtClose;
        const int64_t now = NowNs();
        for (size_t port = 0; port < frames.size(); ++port)
            frames[port].store(board.entries[port].frames.load());
        (open ? board.openNs : board.closeNs).store(now);
    }
    windowOpen.store(open);
}

std::vector<TapRecord> TakeEvents()
{
    std::lock_guard lock(eventsMutex);
    std::vector<TapRecord> taken;
    taken.swap(events);
    return taken;
}

}  // namespace benchhost

// The stand-ins. A packet is noted before the kernel takes it: on loopback the receiver
// may run, take the frame and deliver it on the other core before the sending call
// returns, and a note taken after it then timed that frame against the previous one's
// marker (a frame interval too late; over TCP, whose sending call is longer, for about
// a third of the frames). A datagram the kernel refuses is rare and counts as sent.
extern "C" ssize_t sendto(int fd, const void* data, size_t length, int flags, const sockaddr* to, socklen_t toLength)
{
    benchhost::Observe(fd, data, length, to, to != nullptr ? SOCK_DGRAM : benchhost::SocketType(fd));
    return ::syscall(SYS_sendto, fd, data, length, flags, to, toLength);
}

extern "C" ssize_t send(int fd, const void* data, size_t length, int flags)
{
    if (benchhost::SocketType(fd) == SOCK_STREAM)
        benchhost::Observe(fd, data, length, nullptr, SOCK_STREAM);
    return ::syscall(SYS_sendto, fd, data, length, flags, nullptr, 0);
}

// The simulator sends a frame's datagrams in batches; its RTP header is a message's first part.
extern "C" int sendmmsg(int fd, mmsghdr* messages, unsigned count, int flags)
{
    for (unsigned i = 0; i < count; ++i) {
        const msghdr& m = messages[i].msg_hdr;
        if (m.msg_iovlen > 0)
            benchhost::Observe(fd, m.msg_iov[0].iov_base, m.msg_iov[0].iov_len,
                               static_cast<const sockaddr*>(m.msg_name), SOCK_DGRAM);
    }
    return static_cast<int>(::syscall(SYS_sendmmsg, fd, messages, count, flags));
}

extern "C" int bind(int fd, const sockaddr* address, socklen_t length)
{
    const long result = ::syscall(SYS_bind, fd, address, length);
    if (result == 0 && benchhost::SocketType(fd) == SOCK_DGRAM)
        benchhost::Note(benchhost::TapEvent::UdpBind);
    return static_cast<int>(result);
}
