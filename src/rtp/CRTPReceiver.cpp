#include "rtp/CRTPReceiver.h"

#include <cstdint>
#include <cstdio>

#include "foundation/MethodName.h"
#include "foundation/MonotonicClock.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CRTPReceiver";

}  // namespace

CRTPReceiver::CRTPReceiver(IDebugMessage* owner) : CBaseThread(owner) {}

CRTPReceiver::~CRTPReceiver()
{
    Close();
}

bool CRTPReceiver::Open(uint16_t port)
{
    if (client_) {
        client_->Close();
        client_.reset();
    }
    ReturnHeld();
    source_.Reset(false);
    client_ = std::make_unique<CUDPClient>(owner);
    // Set before opening so that they govern the receive loop from its first receive.
    client_->SetSocketReceiveBuffer(kSocketReceiveBuffer);
    client_->SetReceiveSize(kReceiveSize);
    client_->SetSelectTimeout(kSelectTimeoutMs);
    if (client_->Open(this, port)) {
        ClearQueue();
        localPort_ = client_->GetPort();
        char threadName[48];
        std::snprintf(threadName, sizeof threadName, "RTP Packet Queue (%hu)", client_->GetPort());
        if (StartThread(threadName))
            return true;
    }
    Close();
    return false;
}

bool CRTPReceiver::OpenInterleaved()
{
    Close();
    source_.Reset(true);
    if (!StartThread("RTP Packet Queue (tcp)"))
        return false;
    interleavedOpen_ = true;
    return true;
}

bool CRTPReceiver::OnInterleavedPacket(const uint8_t* data, size_t length)
{
    // The connection is the camera's own: its packets come as from port 0 of the camera.
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = source_.Address();
    std::lock_guard guard(interleavedLock_);
    if (!interleavedOpen_)
        return true;
    if (!Gather(from, data, length))
        return false;
    if (gatheredCount_ == kBatchSize)
        interleavedDropped_ += PushGathered();
    return true;
}

size_t CRTPReceiver::OnInterleavedBatchEnd()
{
    std::lock_guard guard(interleavedLock_);
    if (!interleavedOpen_)
        return 0;
    const size_t dropped = interleavedDropped_ + PushGathered();
    interleavedDropped_ = 0;
    return dropped;
}

bool CRTPReceiver::StopThread(uint32_t timeoutMs)
{
    stopEvent.Set();
    queue_.Wake();
    return CBaseThread::StopThread(timeoutMs);
}

bool CRTPReceiver::JoinThread(uint32_t timeoutMs)
{
    stopEvent.Set();
    queue_.Wake();
    return CBaseThread::JoinThread(timeoutMs);
}

void CRTPReceiver::Close()
{
    {
        // The session thread may still be offering packets of its last read.
        std::lock_guard guard(interleavedLock_);
        interleavedOpen_ = false;
    }
    stopEvent.Set();
    queue_.Wake();
    if (client_) {
        client_->Close();
        client_.reset();
    }
    ReturnHeld();  // the UDP thread has ended, and the session thread gathers no more
    ClearQueue();
    StopThread(2000);
}

uint16_t CRTPReceiver::GetPort()
{
    return client_ ? client_->GetPort() : 0;
}

void CRTPReceiver::ClearQueue()
{
    queue_.Clear();
    dropping_ = false;
}

void CRTPReceiver::ReturnHeld()
{
    queue_.Release(gathered_, gatheredCount_);
    gatheredCount_ = 0;
    queue_.Release(spare_, spareCount_);
    spareCount_ = 0;
}

void CRTPReceiver::OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data, size_t length)
{
    if (client == nullptr || client != client_.get())
        return;
    if (!Gather(from, data, length))
        NoteDropped(1);  // every record is in the queue or in the user's hands
    else if (gatheredCount_ == kBatchSize)
        NoteDropped(PushGathered());
}

bool CRTPReceiver::Gather(const sockaddr_in& from, const uint8_t* data, size_t length)
{
    QueuedPacket* record = spareCount_ > 0 ? spare_[--spareCount_] : queue_.Acquire();
    if (record == nullptr)
        return false;
    record->from = from;
    if (!record->packet.Parse(data, length) || stopEvent.IsSet()) {
        spare_[spareCount_++] = record;
        return true;
    }
    gathered_[gatheredCount_++] = record;
    return true;
}

void CRTPReceiver::OnDataBatchEnd(IRTPClient* client)
{
    if (client == nullptr || client != client_.get())
        return;
    if (gatheredCount_ > 0)
        NoteDropped(PushGathered());
}

size_t CRTPReceiver::PushGathered()
{
    if (gatheredCount_ == 0)
        return 0;
    size_t dropped = 0;
    spareCount_ += queue_.Push(gathered_, gatheredCount_, spare_ + spareCount_, kBatchSize - spareCount_, dropped);
    gatheredCount_ = 0;
    return dropped;
}

void CRTPReceiver::NoteDropped(size_t dropped)
{
    if (dropped == 0) {
        dropping_ = false;
        return;
    }
    if (!dropping_.exchange(true) && owner != nullptr) {
        owner->DebugMessage(DebugWarning, "%s: Packet queue full (%u packets), datagrams dropped, device %s, port %u",
                            MethodName(kClassName, "OnDataReceived").c_str(), queue_.GetLimit(),
                            owner->GetName().c_str(), unsigned{localPort_});
    }
}

void CRTPReceiver::OnReceiveTimeout(IRTPClient* client)
{
    if (client == nullptr || client != client_.get() || user_ == nullptr)
        return;
    user_->OnRTPTimeout();
}

void CRTPReceiver::OnClientClosed(IRTPClient* client)
{
    if (client == nullptr || client != client_.get() || user_ == nullptr)
        return;
    user_->OnRTPClosed();
}

void CRTPReceiver::Deliver(const sockaddr_in& from, const CRTPPacket& packet)
{
    if (user_ == nullptr || stopEvent.IsSet())
        return;
    try {
        user_->OnRTPPacket(from, packet);
    } catch (...) {
    }
}

void CRTPReceiver::Pass(const QueuedPacket& record, uint64_t nowMs, const RtpReorderWindow::Deliver& deliver)
{
    const RtpStreamSource::Verdict verdict = source_.Check(record.from, record.packet, nowMs);
    if (verdict == RtpStreamSource::SourceForeign)
        return;
    if (!heardSet_ && heard_ != nullptr) {
        heardSet_ = true;
        heard_->Set();
    }
    if (verdict == RtpStreamSource::SourceRefused)
        return;
    if (verdict == RtpStreamSource::SourceFollowed && user_ != nullptr) {
        try {
            user_->OnRTPSourceFollowed(ntohs(record.from.sin_port), record.packet.GetSsrc(), source_.AnnouncedPort());
        } catch (...) {
        }
    }
    window_.Push(record.packet, nowMs, deliver);
}

uint32_t CRTPReceiver::Run()
{
    window_.Reset();
    heardSet_ = false;
    QueuedPacket* batch[kBatchSize];
    size_t count = 0;
    size_t remaining = 0;
    // Packets the window releases come from the stream's sender, the one of the record in hand.
    const sockaddr_in* from = nullptr;
    const RtpReorderWindow::Deliver deliver = [this, &from](const CRTPPacket& packet) { Deliver(*from, packet); };
    while (!stopEvent.IsSet()) {
        // The records of one batch go back to the pool as the next batch is taken.
        count = queue_.Take(batch, count, batch, kBatchSize, remaining);
        // One clock reading per batch: the window's hold time and the probation count in
        // tens and hundreds of milliseconds.
        const uint64_t nowMs = count > 0 ? MonotonicCoarseMs() : 0;
        for (size_t i = 0; i < count; ++i) {
            from = &batch[i]->from;
            Pass(*batch[i], nowMs, deliver);
        }
        // Sleeps only when the queue is empty; a push, Close or a second wakes it.
        if (count == 0)
            queue_.WaitForPackets(1000);
    }
    queue_.Release(batch, count);
    ClearQueue();
    window_.Reset();
    return 0;
}

}  // namespace velkora
