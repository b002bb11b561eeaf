#include "rtp/CRTCPHandler.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/FileTime.h"

namespace velkora {

namespace {

constexpr uint8_t kTypeSenderReport = 200;
constexpr uint8_t kTypeReceiverReport = 201;
constexpr uint8_t kTypeBye = 203;
// An SR is read up to byte 13 (the middle of its NTP timestamp).
constexpr size_t kSenderReportBytesRead = 14;

void WriteBe32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// Data1 of a random GUID; the C library's generator when none can be had.
uint32_t ChooseSsrc()
{
    uint8_t guid[16] = {};
    if (getrandom(guid, sizeof guid, 0) == static_cast<ssize_t>(sizeof guid)) {
        bool allZero = true;
        for (uint8_t b : guid)
            allZero = allZero && b == 0;
        if (!allZero) {
            uint32_t data1 = 0;
            std::memcpy(&data1, guid, sizeof data1);
            return data1;
        }
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return static_cast<uint32_t>(std::rand());
}

}  // namespace

CRTCPHandler::CRTCPHandler(IDebugMessage* owner) : CBaseThread(owner), udpClient_(owner)
{
    udpClient_.SetReceiveSize(1536);
    udpClient_.SetSelectTimeout(1000);
}

CRTCPHandler::~CRTCPHandler()
{
    Close();
}

uint32_t CRTCPHandler::ComputeDlsr(uint32_t srArrivalMs, uint32_t nowMs)
{
    if (srArrivalMs == 0)
        return 0;
    const uint32_t elapsed = nowMs - srArrivalMs;
    return static_cast<uint32_t>(uint64_t{elapsed} * 65536 / 1000);
}

void CRTCPHandler::ResetState()
{
    CAutoLock guard(lock_);
    peerKnown_ = false;
    sequenceStarted_ = false;
    sendEvent_.Reset();
    WriteBe32(ownSsrc_.data(), ChooseSsrc());
    peerAddress_ = sockaddr_in{};
    srArrival_ = 0;
    versionBits_ = 0;
    statistics_ = RtpSequenceStatistics{};
    sourceSsrc_.fill(0);
    lsr_.fill(0);
}

bool CRTCPHandler::Open(in_addr_t cameraAddress, uint16_t port)
{
    if (cameraAddress == 0 || udpClient_.GetPort() != 0)
        return false;
    ResetState();
    // Stored before the socket opens: the receive thread filters on it from the first datagram.
    cameraAddress_ = cameraAddress;
    peerPort_ = 0;
    followSsrc_ = 0;
    if (!udpClient_.Open(this, port))
        return false;
    udpClient_.SetSelectTimeout(1000);
    StartThread("RTCP Handler Thread");
    return true;
}

bool CRTCPHandler::OpenInterleaved(IRTCPPacketSender& sender)
{
    if (udpClient_.GetPort() != 0 || sender_.load() != nullptr)
        return false;
    ResetState();
    cameraAddress_ = 0;
    peerPort_ = 0;
    sender_ = &sender;
    StartThread("RTCP Handler Thread");
    return true;
}

bool CRTCPHandler::OnInterleavedPacket(const uint8_t* data, size_t length)
{
    // The connection is the camera's: no address to check.
    if (data != nullptr && length >= 4 && sender_.load() != nullptr)
        ReadCompound(sockaddr_in{}, data, length);
    return true;
}

void CRTCPHandler::Close()
{
    stopEvent.Set();
    bool sendBye = false;
    uint8_t bye[kByeSize] = {};
    {
        CAutoLock guard(lock_);
        if (peerKnown_) {
            sendBye = true;
            bye[0] = static_cast<uint8_t>(versionBits_ | 1);
            bye[1] = kTypeBye;
            bye[2] = 0;
            bye[3] = 1;
            std::memcpy(bye + 4, ownSsrc_.data(), 4);
        }
    }
    if (sendBye)
        Send(bye, sizeof bye);
    {
        CAutoLock guard(lock_);
        peerKnown_ = false;
    }
    udpClient_.Close();
    StopThread(5000);
    sender_ = nullptr;
}

void CRTCPHandler::NoteSequence(uint16_t sequence)
{
    CAutoLock guard(lock_);
    if (!sequenceStarted_) {
        statistics_.Init(sequence);
        sequenceStarted_ = true;
    }
    statistics_.Update(sequence);
}

void CRTCPHandler::OnDataReceived(IRTPClient*, const sockaddr_in& from, const uint8_t* data, size_t length)
{
    if (data == nullptr || length < 4 || from.sin_addr.s_addr != cameraAddress_.load())
        return;
    const uint16_t peerPort = peerPort_.load();
    if (peerPort != 0 && ntohs(from.sin_port) != peerPort)
        return;
    if (peerPort == 0 && followSsrc_.load() != 0) {
        const uint32_t ssrc = followSsrc_.load();
        if (length < 8 || std::memcmp(data + 4, &ssrc, 4) != 0)
            return;
        peerPort_ = ntohs(from.sin_port);
        followSsrc_ = 0;
    }
    ReadCompound(from, data, length);
}

void CRTCPHandler::ReadCompound(const sockaddr_in& from, const uint8_t* data, size_t length)
{
    size_t offset = 0;
    bool reportDue = false;
    do {
        const size_t packetLength = 4 + 4 * ((size_t{data[offset + 2]} << 8) | data[offset + 3]);
        const size_t end = offset + packetLength;
        if (end <= length) {
            const uint8_t* packet = data + offset;
            if (packet[1] == kTypeSenderReport && packetLength >= kSenderReportBytesRead) {
                CAutoLock guard(lock_);
                if (!peerKnown_) {
                    peerAddress_ = from;
                    peerKnown_ = true;
                }
                versionBits_ = packet[0] & 0xc0;
                std::memcpy(sourceSsrc_.data(), packet + 4, 4);
                std::memcpy(lsr_.data(), packet + 10, 4);
                srArrival_ = timeGetTime();
                reportDue = true;
            } else if (packet[1] == kTypeBye) {
                bool wasKnown = false;
                {
                    CAutoLock guard(lock_);
                    wasKnown = peerKnown_;
                    peerKnown_ = false;
                }
                if (wasKnown && user_ != nullptr)
                    user_->OnRTCPBye();
            }
        }
        offset = end;
    } while (offset + 4 <= length);
    // Once per datagram: a compound packet with several SRs gets one RR, whenever the
    // handler thread happens to wake.
    if (reportDue)
        sendEvent_.Set();
}

void CRTCPHandler::BuildReceiverReport(uint8_t (&report)[kReceiverReportSize])
{
    CAutoLock guard(lock_);
    std::memset(report, 0, sizeof report);
    report[0] = static_cast<uint8_t>(versionBits_ | 1);
    report[1] = kTypeReceiverReport;
    report[3] = 7;
    std::memcpy(report + 4, ownSsrc_.data(), 4);
    std::memcpy(report + 8, sourceSsrc_.data(), 4);
    // 12-15 fraction and cumulative lost, 20-23 jitter: not measured, sent as zeros.
    WriteBe32(report + 16, statistics_.ExtendedHighest());
    std::memcpy(report + 24, lsr_.data(), 4);
    WriteBe32(report + 28, ComputeDlsr(srArrival_, timeGetTime()));
}

bool CRTCPHandler::Send(const uint8_t* data, size_t length)
{
    if (data == nullptr || length == 0)
        return false;
    sockaddr_in peer{};
    {
        CAutoLock guard(lock_);
        if (!peerKnown_)
            return false;
        peer = peerAddress_;
    }
    IRTCPPacketSender* sender = sender_.load();
    if (sender != nullptr ? sender->SendRTCPPacket(data, length) : udpClient_.SendTo(peer, data, length))
        return true;
    CAutoLock guard(lock_);
    peerKnown_ = false;  // no more reports until the next SR
    return false;
}

uint32_t CRTCPHandler::Run()
{
    while (!stopEvent.IsSet()) {
        if (WaitForAnyEvent({&stopEvent, &sendEvent_}, 10000) == 1) {
            uint8_t report[kReceiverReportSize];
            BuildReceiverReport(report);
            // No reset afterwards: the wait consumed the event, and an SR that arrived while
            // this report was sent must get its own.
            Send(report, sizeof report);
        }
    }
    return 0;
}

}  // namespace velkora
