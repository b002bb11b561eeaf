#include "rtp/CUDPClient.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

namespace velkora {

namespace {

constexpr uint32_t kReceiveTimeoutMs = 5000;
constexpr uint32_t kSendTimeoutMs = 1000;
constexpr int kDrainLimit = 100;

// Each datagram of a batched read gets a slot that holds the largest datagram, so that the
// receive size is applied datagram by datagram exactly as with one read per datagram: a
// datagram over the size is dropped and the size grows for the datagram after it, even
// within the same batch. Mapped on demand: only the pages datagrams touch become resident.
constexpr size_t kSlotSize = 65536;

class ReadSlots
{
public:
    ReadSlots()
    {
        void* memory = mmap(nullptr, kSlotSize * CUDPClient::kReadBatch, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        base_ = memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
    }
    ~ReadSlots()
    {
        if (base_ != nullptr)
            munmap(base_, kSlotSize * CUDPClient::kReadBatch);
    }
    ReadSlots(const ReadSlots&) = delete;
    ReadSlots& operator=(const ReadSlots&) = delete;
    uint8_t* Slot(unsigned index) const { return base_ + index * kSlotSize; }
    bool IsValid() const { return base_ != nullptr; }

private:
    uint8_t* base_ = nullptr;
};

bool SetTimeoutOption(int socket, int option, uint32_t milliseconds)
{
    if (milliseconds == 0)
        return true;
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return setsockopt(socket, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

}  // namespace

CUDPClient::CUDPClient(IDebugMessage* owner) : CBaseThread(owner) {}

CUDPClient::~CUDPClient()
{
    Close();
}

void CUDPClient::SetReceiveSize(uint32_t bytes)
{
    receiveSize_ = bytes;
}

void CUDPClient::SetSelectTimeout(uint32_t milliseconds)
{
    selectSeconds_ = milliseconds / 1000;
    selectMicroseconds_ = (milliseconds % 1000) * 1000;
}

void CUDPClient::SetSocketReceiveBuffer(uint32_t bytes)
{
    socketReceiveBuffer_ = bytes;
}

uint16_t CUDPClient::GetPort()
{
    return port_;
}

uint32_t CUDPClient::GetGrantedReceiveBuffer()
{
    CAutoLock guard(lock_);
    int granted = 0;
    socklen_t length = sizeof granted;
    if (socket_ == -1 || getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    return static_cast<uint32_t>(granted);
}

bool CUDPClient::Open(IRTPClientUser* user, uint16_t port)
{
    return OpenWith(user, {INADDR_NONE, port, socketReceiveBuffer_, kReceiveTimeoutMs, kSendTimeoutMs});
}

bool CUDPClient::OpenMulticast(IRTPClientUser* user, const char* group, uint16_t port)
{
    const in_addr_t address = (group != nullptr && *group != '\0') ? inet_addr(group) : INADDR_NONE;
    if (address == INADDR_NONE) {
        Close();
        return false;
    }
    return OpenWith(user, {address, port, socketReceiveBuffer_, kReceiveTimeoutMs, kSendTimeoutMs});
}

bool CUDPClient::OpenWith(IRTPClientUser* user, const SocketSettings& settings)
{
    if (user == nullptr) {
        Close();
        return false;
    }
    {
        CAutoLock guard(lock_);
        user_ = user;
        if (CreateSocket(settings)) {
            char threadName[64];
            std::snprintf(threadName, sizeof threadName, "UDP client thread, port %u", unsigned{port_});
            threadSocket_ = socket_;
            if (StartThread(threadName))
                return true;
        }
    }
    Close();
    return false;
}

bool CUDPClient::CreateSocket(const SocketSettings& settings)
{
    if (socket_ != -1)
        return false;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0)
        return false;

    const bool multicast = settings.group != INADDR_NONE;
    const int one = 1;
    const int bufferSize = static_cast<int>(
        std::min<uint32_t>(settings.receiveBuffer == 0 ? kDefaultSocketBuffer : settings.receiveBuffer, 0x7fffffff));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(settings.port);
    const bool configured = (!multicast || setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0) &&
                            setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) == 0 &&
                            SetTimeoutOption(s, SO_RCVTIMEO, settings.receiveTimeoutMs) &&
                            SetTimeoutOption(s, SO_SNDTIMEO, settings.sendTimeoutMs) &&
                            bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (!configured) {
        ::close(s);
        return false;
    }

    // Port 0 binds an ephemeral port; report the one the system chose.
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    const uint16_t port =
        getsockname(s, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0 ? ntohs(bound.sin_port) : settings.port;
    socket_ = s;
    port_ = port;
    socketTimeout_ = std::max(settings.receiveTimeoutMs, settings.sendTimeoutMs);

    if (multicast) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = settings.group;
        request.imr_interface.s_addr = htonl(INADDR_ANY);
        // On failure the socket stays stored; the Close that follows releases it.
        if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
            return false;
        multicastGroup_ = settings.group;
    }
    return true;
}

bool CUDPClient::Close()
{
    stopEvent.Set();
    int closing = -1;
    bool joined = false;
    {
        CAutoLock guard(lock_);
        if (socket_ != -1) {
            if (multicastGroup_ != INADDR_NONE) {
                ip_mreq request{};
                request.imr_multiaddr.s_addr = multicastGroup_;
                request.imr_interface.s_addr = htonl(INADDR_ANY);
                setsockopt(socket_, IPPROTO_IP, IP_DROP_MEMBERSHIP, &request, sizeof request);
                multicastGroup_ = INADDR_NONE;
            }
            // Wakes a poll in progress (Linux reports a shut-down UDP socket readable).
            shutdown(socket_, SHUT_RDWR);
            closing = socket_;
            socket_ = -1;
            port_ = 0;
        }
        const uint32_t timeout =
            std::max(std::max(socketTimeout_, selectSeconds_.load() * 1000) + 1000, uint32_t{5000});
        joined = JoinThread(timeout);
    }
    if (closing != -1) {
        uint8_t scratch[1500];
        for (int i = 0; i < kDrainLimit; ++i) {
            if (recv(closing, scratch, sizeof scratch, MSG_DONTWAIT) < 1)
                break;
        }
        ::close(closing);
        NotifyClosed();
    }
    return joined;
}

bool CUDPClient::SendTo(const sockaddr_in& to, const uint8_t* data, size_t length)
{
    // Held across the send so that Close cannot release the descriptor meanwhile.
    CAutoLock guard(lock_);
    if (socket_ == -1)
        return false;
    if (length == 0)
        return true;
    if (data == nullptr)
        return false;
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = sendto(socket_, data + sent, length - sent, MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

CUDPClient::WaitResult CUDPClient::WaitForReadable()
{
    for (;;) {
        if (stopEvent.IsSet())
            return WaitResult::Stop;
        const uint32_t timeoutMs = selectSeconds_.load() * 1000 + selectMicroseconds_.load() / 1000;
        // poll rather than select: the host process may hold descriptors beyond FD_SETSIZE.
        pollfd entry{threadSocket_, POLLIN, 0};
        const int result = poll(&entry, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, 0x7fffffff)));
        if (result > 0) {
            if (entry.revents & POLLNVAL) {
                NotifyClosed();
                return WaitResult::Stop;
            }
            return stopEvent.IsSet() ? WaitResult::Stop : WaitResult::Continue;
        }
        if (result == 0) {
            NotifyTimeout();
            continue;
        }
        if (errno == EFAULT) {
            NotifyClosed();
            return WaitResult::Stop;
        }
        if (errno == EINVAL)
            return WaitResult::Stop;
        // EINTR, ENOMEM: try again.
    }
}

uint32_t CUDPClient::Run()
{
    if (WaitForReadable() == WaitResult::Stop)
        return 0;
    uint32_t size = std::min(receiveSize_.load(), kMaxReceiveSize);
    ReadSlots slots;
    if (!slots.IsValid()) {
        NotifyClosed();
        return 0;
    }
    std::array<mmsghdr, kReadBatch> messages{};
    std::array<iovec, kReadBatch> vectors{};
    std::array<sockaddr_in, kReadBatch> senders{};
    for (unsigned i = 0; i < kReadBatch; ++i) {
        vectors[i] = {slots.Slot(i), kSlotSize};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
    }
    do {
        for (mmsghdr& message : messages) {
            message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
            message.msg_hdr.msg_flags = 0;
        }
        // What has arrived, without waiting for more: the poll above said there is some.
        // MSG_TRUNC reports a datagram's full length even when it did not fit its slot.
        const int count = recvmmsg(threadSocket_, messages.data(), kReadBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
        for (int i = 0; i < count; ++i) {
            const size_t n = messages[i].msg_len;
            if (n > size || (messages[i].msg_hdr.msg_flags & MSG_TRUNC)) {
                // Dropped, as Winsock's WSAEMSGSIZE would report it; the next datagram is offered more.
                size = std::min(size + kReceiveGrowth, kMaxReceiveSize);
            } else if (n > 0) {
                NotifyData(senders[i], slots.Slot(static_cast<unsigned>(i)), n);
            }
        }
        if (count > 0)
            NotifyBatchEnd();
    } while (WaitForReadable() == WaitResult::Continue);
    return 0;
}

void CUDPClient::NotifyData(const sockaddr_in& from, const uint8_t* data, size_t length)
{
    IRTPClientUser* user = user_;
    if (user == nullptr || stopEvent.IsSet())
        return;
    try {
        user->OnDataReceived(this, from, data, length);
    } catch (...) {
    }
}

void CUDPClient::NotifyBatchEnd()
{
    IRTPClientUser* user = user_;
    if (user == nullptr)
        return;
    try {
        user->OnDataBatchEnd(this);
    } catch (...) {
    }
}

void CUDPClient::NotifyTimeout()
{
    IRTPClientUser* user = user_;
    if (user == nullptr || stopEvent.IsSet())
        return;
    try {
        user->OnReceiveTimeout(this);
    } catch (...) {
    }
}

void CUDPClient::NotifyClosed()
{
    IRTPClientUser* user = user_;
    if (user == nullptr)
        return;
    try {
        user->OnClientClosed(this);
    } catch (...) {
    }
}

}  // namespace velkora
