#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/CBaseThread.h"
#include "foundation/CRecursiveLock.h"
#include "rtp/CRTPPacket.h"
#include "rtp/CRTPPacketQueue.h"
#include "rtp/CUDPClient.h"
#include "rtp/IRTPClient.h"
#include "rtp/IRTPReceiverUser.h"

namespace velkora {

// Receives the RTP datagrams of one stream: parses them on the UDP thread and hands them,
// in arrival order, to the user on its own thread ("RTP Packet Queue (%hu)"), so that frame
// assembly never holds up the socket. Packets are parsed into pooled records and cross in
// batches (one batched read of the socket, one queue lock); the queue is bounded (see
// CRTPPacketQueue): while the user stalls, the newest datagrams are dropped.
class CRTPReceiver : public IRTPClientUser, public CBaseThread
{
public:
    // Asked of the kernel for the RTP socket: an I-frame burst of a 1080p camera overflows
    // 64 KiB. The kernel may cap it at net.core.rmem_max.
    static constexpr uint32_t kSocketReceiveBuffer = 4 * 1024 * 1024;
    static constexpr uint32_t kReceiveSize = 1536;
    static constexpr uint32_t kSelectTimeoutMs = 2000;
    // Records handed to the user per queue lock, and gathered from the socket per push.
    static constexpr size_t kBatchSize = CUDPClient::kReadBatch;

    explicit CRTPReceiver(IDebugMessage* owner);
    ~CRTPReceiver() override;

    void SetUser(IRTPReceiverUser* user) { user_ = user; }
    bool Open(uint16_t port);
    void Close();
    // Starts the packet thread without a UDP socket: packets then come from the RTSP
    // connection through OnInterleavedPacket.
    bool OpenInterleaved();
    // One packet that arrived inside the RTSP connection: parsed and queued as a datagram
    // from `from` would be. False when the queue was full and dropped it (malformed ones
    // are dropped silently, as datagrams are); the caller reports such drops.
    bool OnInterleavedPacket(const sockaddr_in& from, const uint8_t* data, size_t length);
    // The UDP client's bound port; 0 while closed.
    uint16_t GetPort();
    // Socket receive buffer the kernel granted; 0 while closed.
    uint32_t GetGrantedReceiveBuffer() { return client_ ? client_->GetGrantedReceiveBuffer() : 0; }

    // Packets the queue holds at most while the user is busy; applies when the queue is
    // empty (set it before Open).
    void SetQueueLimit(uint32_t packets) { queue_.SetLimit(packets); }
    // Datagrams dropped because the queue was full.
    uint64_t GetDroppedPackets() { return queue_.GetDropped(); }
    // Packet records allocated so far: grows while the pool warms up, then stays.
    uint64_t GetRecordAllocations() { return queue_.GetAllocations(); }

    void OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data, size_t length) override;
    void OnDataBatchEnd(IRTPClient* client) override;
    void OnReceiveTimeout(IRTPClient* client) override;
    void OnClientClosed(IRTPClient* client) override;

    // Also wake the packet thread from its wait for packets.
    bool StopThread(uint32_t timeoutMs) override;
    bool JoinThread(uint32_t timeoutMs) override;

protected:
    uint32_t Run() override;

private:
    void ClearQueue();
    // 1 queued, 0 malformed or stopping (dropped quietly, as datagrams are), -1 the queue is full.
    int Offer(const sockaddr_in& from, const uint8_t* data, size_t length);
    // Hands the records gathered on the UDP thread to the queue.
    void PushGathered();
    void NoteDropped(size_t dropped);
    // Records the UDP thread holds: gathered (parsed, not yet queued) and spare (free).
    void ReturnHeld();

    std::unique_ptr<CUDPClient> client_;
    IRTPReceiverUser* user_ = nullptr;
    CRTPPacketQueue queue_;
    // UDP thread only (and the owner's thread while no UDP thread runs).
    QueuedPacket* gathered_[kBatchSize] = {};
    size_t gatheredCount_ = 0;
    QueuedPacket* spare_[kBatchSize] = {};
    size_t spareCount_ = 0;
    std::atomic<bool> dropping_{false};   // an overflow is in progress (logged once when it starts)
    std::atomic<uint16_t> localPort_{0};  // for messages from any thread
    std::atomic<bool> interleavedOpen_{false};
};

}  // namespace velkora
