#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"
#include "rtp/CRTPPacket.h"
#include "rtp/CUDPClient.h"
#include "rtp/IRTPClient.h"
#include "rtp/IRTPReceiverUser.h"

namespace velkora {

// Receives the RTP datagrams of one stream: parses them on the UDP thread and hands them,
// in arrival order, to the user on its own thread ("RTP Packet Queue (%hu)"), so that frame
// assembly never holds up the socket.
class CRTPReceiver : public IRTPClientUser, public CBaseThread {
public:
    // Asked of the kernel for the RTP socket: an I-frame burst of a 1080p camera overflows
    // 64 KiB. The kernel may cap it at net.core.rmem_max.
    static constexpr uint32_t kSocketReceiveBuffer = 4 * 1024 * 1024;
    static constexpr uint32_t kReceiveSize = 1536;
    static constexpr uint32_t kSelectTimeoutMs = 2000;
    // Packets from the RTSP connection that may wait for the packet thread; a host that
    // falls further behind loses the newest (a UDP socket's buffer does the same).
    static constexpr size_t kMaxInterleavedBacklog = 2048;

    explicit CRTPReceiver(IDebugMessage* owner);
    ~CRTPReceiver() override;

    void SetUser(IRTPReceiverUser* user) { user_ = user; }
    bool Open(uint16_t port);
    void Close();
    // Starts the packet thread without a UDP socket: packets then come from the RTSP
    // connection through OnInterleavedPacket.
    bool OpenInterleaved();
    // One packet that arrived inside the RTSP connection: parsed and queued as a datagram
    // from `from` would be. False when it was dropped because kMaxInterleavedBacklog
    // packets still wait (malformed ones are dropped silently, as datagrams are).
    bool OnInterleavedPacket(const sockaddr_in& from, const uint8_t* data, size_t length);
    // The UDP client's bound port; 0 while closed.
    uint16_t GetPort();
    // Socket receive buffer the kernel granted; 0 while closed.
    uint32_t GetGrantedReceiveBuffer() { return client_ ? client_->GetGrantedReceiveBuffer() : 0; }

    void OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data,
                        size_t length) override;
    void OnReceiveTimeout(IRTPClient* client) override;
    void OnClientClosed(IRTPClient* client) override;

protected:
    uint32_t Run() override;

private:
    struct QueuedPacket {
        sockaddr_in from;
        CRTPPacket packet;
    };

    void ClearQueue();
    bool Enqueue(const sockaddr_in& from, const uint8_t* data, size_t length, size_t backlogLimit);

    std::unique_ptr<CUDPClient> client_;
    IRTPReceiverUser* user_ = nullptr;
    CRecursiveLock lock_;
    std::deque<std::unique_ptr<QueuedPacket>> queue_;
    CAutoEvent packetEvent_;
    std::atomic<bool> interleavedOpen_{false};
};

}  // namespace velkora
