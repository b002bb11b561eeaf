#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "rtp/CRTPPacket.h"
#include "rtp/CRTPPacketQueue.h"
#include "rtp/CUDPClient.h"
#include "rtp/IInterleavedPacketSink.h"
#include "rtp/IRTPClient.h"
#include "rtp/IRTPReceiverUser.h"
#include "rtp/RtpReorderWindow.h"
#include "rtp/RtpStreamSource.h"

namespace velkora {

// Receives the RTP packets of one stream, as datagrams or from the RTSP connection: parses
// them on the receiving thread and hands them to the user on its own thread ("RTP Packet
// Queue (%hu)"), so that frame assembly never holds up the socket. Packets are parsed into
// pooled records and cross in batches (one batched read of the socket, one queue lock); the
// queue is bounded (see CRTPPacketQueue): while the user stalls, the newest datagrams are
// dropped. On the packet thread only the stream's packets (RtpStreamSource) pass, and they
// reach the user in sequence order (RtpReorderWindow): one call per packet, nothing left
// for the user to sort out.
class CRTPReceiver : public IRTPClientUser, public CBaseThread, public IInterleavedPacketSink
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
    // Only datagrams from `address` (network order) are the stream's; `heard` is set by the
    // first of them after each Open, the stream's or not: another sender still aiming at
    // the port shows itself so. Set before opening.
    void SetSource(uint32_t address, CEvent* heard)
    {
        source_.SetAddress(address);
        heard_ = heard;
    }
    // The camera's RTP port, SSRC and payload type as the session's negotiation named them
    // (RtpStreamSource::Announce); any thread while open.
    void AnnounceSource(uint16_t port, uint32_t ssrc, int payloadType) { source_.Announce(port, ssrc, payloadType); }
    bool Open(uint16_t port);
    void Close();
    // Starts the packet thread without a UDP socket: packets then come from the RTSP
    // connection through OnInterleavedPacket.
    bool OpenInterleaved();
    // One packet that arrived inside the RTSP connection: parsed and gathered as a datagram
    // from the camera would be, and queued with the rest of its read at the batch end. False
    // when no record was left for it (malformed ones are dropped silently, as datagrams are);
    // the caller reports such drops, and those the batch end reports.
    bool OnInterleavedPacket(const uint8_t* data, size_t length) override;
    size_t OnInterleavedBatchEnd() override;
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
    // One record taken from the queue: checked, put in order, handed to the user.
    void Pass(const QueuedPacket& record, uint64_t nowMs, const RtpReorderWindow::Deliver& deliver);
    void Deliver(const sockaddr_in& from, const CRTPPacket& packet);
    // Parses a packet into a record gathered for the next push; false when no record was
    // left (malformed packets and those that come while stopping are dropped quietly).
    bool Gather(const sockaddr_in& from, const uint8_t* data, size_t length);
    // Hands the gathered records to the queue; returns how many it refused.
    size_t PushGathered();
    void NoteDropped(size_t dropped);
    // Records the UDP thread holds: gathered (parsed, not yet queued) and spare (free).
    void ReturnHeld();

    std::unique_ptr<CUDPClient> client_;
    IRTPReceiverUser* user_ = nullptr;
    CEvent* heard_ = nullptr;
    CRTPPacketQueue queue_;
    RtpStreamSource source_;
    // Packet thread only (reset as it starts).
    RtpReorderWindow window_;
    bool heardSet_ = false;
    // The thread that receives (the UDP thread, or the RTSP session's thread under
    // interleavedLock_), and the owner's thread while none does.
    QueuedPacket* gathered_[kBatchSize] = {};
    size_t gatheredCount_ = 0;
    QueuedPacket* spare_[kBatchSize] = {};
    size_t spareCount_ = 0;
    std::atomic<bool> dropping_{false};   // an overflow is in progress (logged once when it starts)
    std::atomic<uint16_t> localPort_{0};  // for messages from any thread
    std::mutex interleavedLock_;          // the session thread's gathering against Close
    size_t interleavedDropped_ = 0;       // refused by pushes within the current read
    std::atomic<bool> interleavedOpen_{false};
};

}  // namespace velkora
