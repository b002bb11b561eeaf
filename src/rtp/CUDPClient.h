#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/CBaseThread.h"
#include "foundation/CRecursiveLock.h"
#include "rtp/IRTPClient.h"

namespace velkora {

// One UDP socket with its receive thread ("UDP client thread, port %u"). The thread waits
// for data with a bounded poll, takes what has arrived in one batched read (up to
// kReadBatch datagrams) and hands datagrams, in arrival order, and quiet periods to the user.
class CUDPClient : public CBaseThread, public IRTPClient
{
public:
    static constexpr uint32_t kDefaultSocketBuffer = 65535;
    static constexpr uint32_t kMaxReceiveSize = 65535;
    static constexpr uint32_t kReceiveGrowth = 1024;
    static constexpr unsigned kReadBatch = 32;

    explicit CUDPClient(IDebugMessage* owner);
    ~CUDPClient() override;

    bool OpenMulticast(IRTPClientUser* user, const char* group, uint16_t port) override;
    bool Open(IRTPClientUser* user, uint16_t port) override;
    bool Close() override;
    void SetReceiveSize(uint32_t bytes) override;
    void SetSelectTimeout(uint32_t milliseconds) override;
    uint16_t GetPort() override;

    // Sends all bytes to `to`; true at once for length 0, false without a socket.
    bool SendTo(const sockaddr_in& to, const uint8_t* data, size_t length);
    // SO_RCVBUF asked for at the next open (0 means the default of 65535). The kernel may
    // grant less (net.core.rmem_max).
    void SetSocketReceiveBuffer(uint32_t bytes);
    // What the kernel granted for the open socket (Linux reports twice the usable size); 0 when closed.
    uint32_t GetGrantedReceiveBuffer();

protected:
    uint32_t Run() override;

private:
    struct SocketSettings {
        in_addr_t group;
        uint16_t port;
        uint32_t receiveBuffer;
        uint32_t receiveTimeoutMs;
        uint32_t sendTimeoutMs;
    };
    enum class WaitResult
    {
        Continue,
        Stop
    };

    bool OpenWith(IRTPClientUser* user, const SocketSettings& settings);
    bool CreateSocket(const SocketSettings& settings);
    WaitResult WaitForReadable();
    void NotifyData(const sockaddr_in& from, const uint8_t* data, size_t length);
    void NotifyBatchEnd();
    void NotifyTimeout();
    void NotifyClosed();

    CRecursiveLock lock_;
    std::atomic<IRTPClientUser*> user_{nullptr};
    int socket_ = -1;        // guarded by lock_
    int threadSocket_ = -1;  // the receive thread's copy; stable while it runs
    std::atomic<uint16_t> port_{0};
    std::atomic<uint32_t> receiveSize_{8192};
    std::atomic<uint32_t> selectSeconds_{2};
    std::atomic<uint32_t> selectMicroseconds_{0};
    std::atomic<uint32_t> socketReceiveBuffer_{kDefaultSocketBuffer};
    in_addr_t multicastGroup_ = INADDR_NONE;  // guarded by lock_
    uint32_t socketTimeout_ = 0;              // guarded by lock_
};

}  // namespace velkora
