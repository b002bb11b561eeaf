#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/IDebugMessage.h"
#include "rtp/IInterleavedPacketSink.h"
#include "rtsp/CInterleavedDemuxer.h"
#include "rtsp/RtspConnection.h"

namespace velkora {

// Reads an RTSP connection that carries the media ('$' frames) as well as the answers:
// hands RTP and RTCP of the channels the SETUP answer named to their sinks, keeps the
// answer a request waits for, and reports packets the RTP sink could not take. Runs on the
// session thread, except RtpChannel.
class RtspInterleavedReader : private CInterleavedDemuxer::Sink
{
public:
    // `owner` names the device in messages and receives them; may be null.
    explicit RtspInterleavedReader(IDebugMessage* owner) : owner_(owner) {}

    // Forgets the last session; a null sink drops its frames.
    void Reset(IInterleavedPacketSink* rtp, IInterleavedPacketSink* rtcp);
    void SetRtpChannel(std::uint8_t channel) { rtpChannel_ = channel; }
    // Any thread.
    std::uint8_t RtpChannel() const { return rtpChannel_.load(); }

    // Reads whatever the connection has within `waitMs` (at most one wait); false once
    // the connection is closed or its framing is lost.
    bool Read(RtspConnection& connection, std::uint32_t waitMs);
    // Reads, handing media on, until an answer arrived (true) or `deadline` passed, the
    // connection failed or `giveUp` says so.
    bool ReceiveResponse(RtspConnection& connection, std::string& response, std::uint64_t deadline,
                         const std::function<bool()>& giveUp);

    bool Lost() const { return demuxer_.Lost(); }
    std::size_t Pending() const { return demuxer_.Pending(); }
    // Warns of dropped packets at most every few seconds, and at once when `final`.
    void ReportDrops(bool final);

private:
    void OnInterleavedFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override;
    void OnRtspMessage(std::string_view message) override;
    void CountDropped(std::uint64_t packets);
    // A sink threw: logged, the stream goes on.
    void ReportException();

    IDebugMessage* owner_;
    IInterleavedPacketSink* rtp_ = nullptr;
    IInterleavedPacketSink* rtcp_ = nullptr;
    std::atomic<std::uint8_t> rtpChannel_{0};
    CInterleavedDemuxer demuxer_{*this};
    std::vector<std::uint8_t> readBuffer_;
    bool awaitingResponse_ = false;
    bool responseReady_ = false;
    std::string pendingResponse_;
    std::uint64_t droppedPackets_ = 0, droppedSinceReport_ = 0, strayFrames_ = 0;
    std::uint64_t lastDropReportMs_ = 0;
};

}  // namespace velkora
