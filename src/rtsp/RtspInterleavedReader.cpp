#include "rtsp/RtspInterleavedReader.h"

#include "foundation/MonotonicClock.h"
#include "foundation/MethodName.h"

namespace velkora {

namespace {

// One read of the connection: the largest interleaved frame fits.
constexpr std::size_t kReadSize = 64 * 1024 + CInterleavedDemuxer::kFrameHeaderSize;
// Packets the host could not take in time are reported at most this often.
constexpr std::uint64_t kDropReportIntervalMs = 5000;
// Its messages are the RTSP client's, from the session thread.
constexpr char kClassName[] = "CBaseRTSPClient";

}  // namespace

void RtspInterleavedReader::Reset(IInterleavedPacketSink* rtp, IInterleavedPacketSink* rtcp)
{
    rtp_ = rtp;
    rtcp_ = rtcp;
    rtpChannel_ = 0;
    demuxer_.Reset();
    awaitingResponse_ = responseReady_ = false;
    pendingResponse_.clear();
    droppedPackets_ = droppedSinceReport_ = strayFrames_ = 0;
    lastDropReportMs_ = 0;
}

bool RtspInterleavedReader::Read(RtspConnection& connection, std::uint32_t waitMs)
{
    if (readBuffer_.empty())
        readBuffer_.resize(kReadSize);
    const long got = connection.Read(readBuffer_.data(), readBuffer_.size(), waitMs);
    if (got <= 0)
        return got == 0;
    const bool framed = demuxer_.Feed(readBuffer_.data(), static_cast<std::size_t>(got));
    // The read's packets cross to the packet thread together: one queue lock per read,
    // not two per packet contending with the packet thread's takes.
    if (rtp_ != nullptr) {
        try {
            CountDropped(rtp_->OnInterleavedBatchEnd());
        } catch (...) {
            ReportException();
        }
    }
    return framed;
}

bool RtspInterleavedReader::ReceiveResponse(RtspConnection& connection, std::string& response, std::uint64_t deadline,
                                            const std::function<bool()>& giveUp)
{
    response.clear();
    pendingResponse_.clear();
    responseReady_ = false;
    awaitingResponse_ = true;
    // Media keep the connection busy: the deadline bounds the whole wait, not each read.
    while (!responseReady_ && !giveUp()) {
        const std::uint32_t wait = connection.WaitLeft(deadline);
        if (wait == 0 || !Read(connection, wait))
            break;
    }
    awaitingResponse_ = false;
    response.swap(pendingResponse_);
    return !response.empty();
}

void RtspInterleavedReader::OnRtspMessage(std::string_view message)
{
    // Requests of the server and answers that come too late are not ours to read.
    if (!awaitingResponse_ || responseReady_ || !message.starts_with("RTSP/"))
        return;
    pendingResponse_.assign(message);
    responseReady_ = true;
}

void RtspInterleavedReader::OnInterleavedFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size)
{
    if (rtp_ == nullptr)
        return;  // no session
    const std::uint8_t rtp = rtpChannel_.load();
    try {
        if (channel == rtp) {
            if (!rtp_->OnInterleavedPacket(data, size))
                CountDropped(1);
        } else if (channel == static_cast<std::uint8_t>(rtp + 1)) {
            if (rtcp_ != nullptr)
                rtcp_->OnInterleavedPacket(data, size);
        } else if (strayFrames_++ == 0 && owner_) {
            owner_->DebugMessage(DebugWarning,
                                 "%s: %s sent data on interleaved channel %u, which was not set up; "
                                 "such data is dropped",
                                 MethodName(kClassName, "Run").c_str(), owner_->GetName().c_str(),
                                 static_cast<unsigned>(channel));
        }
    } catch (...) {
        ReportException();
    }
}

void RtspInterleavedReader::CountDropped(std::uint64_t packets)
{
    droppedPackets_ += packets;
    droppedSinceReport_ += packets;
}

void RtspInterleavedReader::ReportException()
{
    if (owner_)
        owner_->DebugMessage(DebugFailure, "Unhandled exception in method %s", MethodName(kClassName, "Run").c_str());
}

void RtspInterleavedReader::ReportDrops(bool final)
{
    if (droppedSinceReport_ == 0 || owner_ == nullptr)
        return;
    const std::uint64_t now = MonotonicMs();
    if (!final && lastDropReportMs_ != 0 && now - lastDropReportMs_ < kDropReportIntervalMs)
        return;
    owner_->DebugMessage(DebugWarning,
                         "%s: host fell behind %s: %llu RTP packets from the RTSP connection dropped "
                         "(%llu in this session)",
                         MethodName(kClassName, "Run").c_str(), owner_->GetName().c_str(),
                         static_cast<unsigned long long>(droppedSinceReport_),
                         static_cast<unsigned long long>(droppedPackets_));
    droppedSinceReport_ = 0;
    lastDropReportMs_ = now;
}

}  // namespace velkora
