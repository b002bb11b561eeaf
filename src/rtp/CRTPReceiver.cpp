#include "rtp/CRTPReceiver.h"

#include <cstdint>
#include <cstdio>

namespace velkora {

CRTPReceiver::CRTPReceiver(IDebugMessage* owner) : CBaseThread(owner) {}

CRTPReceiver::~CRTPReceiver() { Close(); }

bool CRTPReceiver::Open(uint16_t port) {
    if (client_) {
        client_->Close();
        client_.reset();
    }
    client_ = std::make_unique<CUDPClient>(owner);
    // Set before opening so that they govern the receive loop from its first receive.
    client_->SetSocketReceiveBuffer(kSocketReceiveBuffer);
    client_->SetReceiveSize(kReceiveSize);
    client_->SetSelectTimeout(kSelectTimeoutMs);
    if (client_->Open(this, port)) {
        ClearQueue();
        char threadName[48];
        std::snprintf(threadName, sizeof threadName, "RTP Packet Queue (%hu)", client_->GetPort());
        if (StartThread(threadName)) return true;
    }
    Close();
    return false;
}

bool CRTPReceiver::OpenInterleaved() {
    Close();
    ClearQueue();
    if (!StartThread("RTP Packet Queue (tcp)")) return false;
    interleavedOpen_ = true;
    return true;
}

bool CRTPReceiver::OnInterleavedPacket(const sockaddr_in& from, const uint8_t* data, size_t length) {
    if (!interleavedOpen_) return true;
    return Enqueue(from, data, length, kMaxInterleavedBacklog);
}

void CRTPReceiver::Close() {
    interleavedOpen_ = false;
    stopEvent.Set();
    if (client_) {
        client_->Close();
        client_.reset();
    }
    ClearQueue();
    StopThread(2000);
}

uint16_t CRTPReceiver::GetPort() { return client_ ? client_->GetPort() : 0; }

void CRTPReceiver::ClearQueue() {
    CAutoLock guard(lock_);
    queue_.clear();
}

void CRTPReceiver::OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data,
                                  size_t length) {
    if (client == nullptr || client != client_.get()) return;
    Enqueue(from, data, length, SIZE_MAX);
}

// False only when the backlog limit dropped the packet: malformed packets and packets
// that arrive while closing are dropped silently, as datagrams always were.
bool CRTPReceiver::Enqueue(const sockaddr_in& from, const uint8_t* data, size_t length, size_t backlogLimit) {
    auto record = std::make_unique<QueuedPacket>();
    record->from = from;
    if (!record->packet.Parse(data, length) || stopEvent.IsSet()) return true;
    bool wasEmpty = false;
    {
        CAutoLock guard(lock_);
        if (queue_.size() >= backlogLimit) return false;
        wasEmpty = queue_.empty();
        queue_.push_back(std::move(record));
    }
    if (wasEmpty) packetEvent_.Set();
    return true;
}

void CRTPReceiver::OnReceiveTimeout(IRTPClient* client) {
    if (client == nullptr || client != client_.get() || user_ == nullptr) return;
    user_->OnRTPTimeout();
}

void CRTPReceiver::OnClientClosed(IRTPClient* client) {
    if (client == nullptr || client != client_.get() || user_ == nullptr) return;
    user_->OnRTPClosed();
}

uint32_t CRTPReceiver::Run() {
    bool queueWasEmpty = false;  // the first wait does not block
    for (;;) {
        const int signalled = WaitForAnyEvent({&stopEvent, &packetEvent_}, queueWasEmpty ? 1000 : 0);
        if (signalled == 0) {
            ClearQueue();
            return 0;
        }
        std::deque<std::unique_ptr<QueuedPacket>> batch;
        {
            CAutoLock guard(lock_);
            batch.swap(queue_);
        }
        queueWasEmpty = true;
        for (auto& record : batch) {
            if (user_ == nullptr || stopEvent.IsSet()) break;
            try {
                user_->OnRTPPacket(record->from, record->packet);
            } catch (...) {
            }
        }
    }
}

}  // namespace velkora
