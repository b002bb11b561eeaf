// The cost floor: the least a receiver of an RTSP/UDP stream can do. One
// SETUP and PLAY, then the RTP datagrams are read and dropped; only the
// marker bits (frame ends) and sequence gaps are counted. By default the
// datagrams are read in batches (recvmmsg into buffers allocated once), as
// cheaply as they can be read; --naive reads one datagram per poll and recv.
// --tcp asks for RTP interleaved in the RTSP connection and reads it in 64 KiB
// blocks, walking the '$' frames without copying them.
//
//   bench_floor [--naive|--tcp] URL FRAMES [TIMEOUT_S]   -> {"frames":N,"packets":N,"lost":N}
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "bench_floor: %s\n", what);
    return 1;
}

// One request and its whole answer (the simulator's answers carry no body here).
std::string Exchange(int fd, const std::string& request)
{
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return {};
    std::string answer;
    char buffer[4096];
    while (answer.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return {};
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        answer.append(buffer, static_cast<size_t>(n));
    }
    return answer;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool naive = argc > 1 && std::strcmp(argv[1], "--naive") == 0;
    const bool tcp = argc > 1 && std::strcmp(argv[1], "--tcp") == 0;
    argc -= naive || tcp;
    argv += naive || tcp;
    if (argc < 3)
        return Fail("usage: bench_floor [--naive|--tcp] rtsp://HOST:PORT/PATH FRAMES [TIMEOUT_S]");
    const std::string url = argv[1];
    const long wanted = std::atol(argv[2]);
    const double timeout = argc > 3 ? std::atof(argv[3]) : 60;
    unsigned a, b, c, d, port;
    if (std::sscanf(url.c_str(), "rtsp://%u.%u.%u.%u:%u/", &a, &b, &c, &d, &port) != 5)
        return Fail("the URL must be rtsp://A.B.C.D:PORT/PATH");

    const int rtp = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int buffer = 4 << 20;  // as much as the library asks for
    ::setsockopt(rtp, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (::bind(rtp, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(rtp, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return Fail("cannot bind a UDP port");

    const int control = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl((a << 24) | (b << 16) | (c << 8) | d);
    if (::connect(control, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
        return Fail("cannot connect to the RTSP server");
    const std::string auth = "Authorization: Basic YWRtaW46YWRtaW4=\r\n";  // admin:admin
    const unsigned rtpPort = ntohs(local.sin_port);
    const std::string transport =
        tcp ? "RTP/AVP/TCP;unicast;interleaved=0-1"
            : "RTP/AVP;unicast;client_port=" + std::to_string(rtpPort) + "-" + std::to_string(rtpPort + 1);
    std::string answer =
        Exchange(control, "SETUP " + url + " RTSP/1.0\r\nCSeq: 1\r\n" + auth + "Transport: " + transport + "\r\n\r\n");
    const size_t at = answer.find("Session: ");
    if (answer.compare(0, 12, "RTSP/1.0 200") != 0 || at == std::string::npos)
        return Fail("SETUP refused");
    const std::string session = answer.substr(at + 9, answer.find_first_of(";\r", at) - at - 9);
    answer = Exchange(control, "PLAY " + url + " RTSP/1.0\r\nCSeq: 2\r\n" + auth + "Session: " + session + "\r\n\r\n");
    if (answer.compare(0, 12, "RTSP/1.0 200") != 0)
        return Fail("PLAY refused");

    long frames = 0, packets = 0, lost = 0;
    int expected = -1;
    auto count = [&](const uint8_t* datagram, size_t n) {
        if (n < 12)
            return;
        ++packets;
        const int sequence = (datagram[2] << 8) | datagram[3];
        if (expected >= 0)
            lost += static_cast<uint16_t>(sequence - expected);
        expected = (sequence + 1) & 0xffff;
        frames += (datagram[1] & 0x80) != 0;
    };
    constexpr unsigned kBatch = 64;
    constexpr size_t kSlot = 2048;  // larger datagrams are truncated: only the header is read
    static uint8_t slots[kBatch][kSlot];
    iovec vectors[kBatch];
    mmsghdr messages[kBatch]{};
    for (unsigned i = 0; i < kBatch; ++i) {
        vectors[i] = {slots[i], kSlot};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    // Interleaved: the frames of one read are walked in place; a frame cut by the end of
    // the block moves to the front (at most one, under 64 KiB). The PLAY answer's read may
    // have taken the first of them.
    static uint8_t block[256 * 1024];
    const size_t played = answer.find("\r\n\r\n") + 4;
    size_t held = tcp ? std::min(answer.size() - played, sizeof block) : 0;
    std::memcpy(block, answer.data() + played, held);
    while (tcp && frames < wanted && std::chrono::steady_clock::now() < deadline) {
        pollfd p{control, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        const ssize_t n = ::recv(control, block + held, sizeof block - held, MSG_DONTWAIT);
        if (n <= 0)
            break;
        held += static_cast<size_t>(n);
        size_t at = 0;
        while (held - at >= 4 && block[at] == '$') {
            const size_t size = (size_t{block[at + 2]} << 8) | block[at + 3];
            if (held - at < 4 + size)
                break;
            if (block[at + 1] == 0)
                count(block + at + 4, size);
            at += 4 + size;
        }
        if (held - at >= 4 && block[at] != '$')
            return Fail("an RTSP message inside the stream");  // the simulator sends none while playing
        std::memmove(block, block + at, held - at);
        held -= at;
    }
    while (!tcp && frames < wanted && std::chrono::steady_clock::now() < deadline) {
        pollfd p{rtp, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        if (naive) {
            const ssize_t n = ::recv(rtp, slots[0], sizeof slots[0], 0);
            count(slots[0], n > 0 ? static_cast<size_t>(n) : 0);
            continue;
        }
        const int got = ::recvmmsg(rtp, messages, kBatch, MSG_DONTWAIT, nullptr);
        for (int i = 0; i < got; ++i)
            count(slots[i], messages[i].msg_len);
    }
    Exchange(control, "TEARDOWN " + url + " RTSP/1.0\r\nCSeq: 3\r\n" + auth + "Session: " + session + "\r\n\r\n");
    ::close(control);
    ::close(rtp);
    std::printf("{\"frames\":%ld,\"packets\":%ld,\"lost\":%ld}\n", frames, packets, lost);
    return frames >= wanted ? 0 : 1;
}
