#pragma once

#include "sim/Clip.h"
#include "sim/Faults.h"
#include "sim/StopSignal.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace sim {

// Counters over all sessions of one RTSP server.
struct StreamCounters {
    std::atomic<std::uint64_t> rtpPackets{0}, rtpDropped{0}, senderReports{0}, receiverReports{0}, byesSent{0};
};

// Sends one clip as RTP over UDP at the stream's frame rate (times `pace`),
// with an RTCP sender report every 5 s from the RTCP socket, reads the
// client's reports there, and applies the RTP faults in force.
class RtpStreamer
{
public:
    struct Setup {
        std::shared_ptr<const Clip> clip;
        double frameRate = 25;
        double pace = 1;
        int rtpSocket = -1;  // borrowed; owned by the session
        int rtcpSocket = -1;
        sockaddr_in rtpPeer{};
        sockaddr_in rtcpPeer{};
        // RTP and RTCP inside the RTSP connection instead of the sockets: each packet goes
        // to `interleave` with its channel; false when the connection is gone.
        std::function<bool(std::uint8_t channel, const Bytes& packet)> interleave;
        // A frame's packets, each framed already, in one write of the connection.
        std::function<bool(const Bytes& framed)> interleaveFrames;
        std::uint8_t rtpChannel = 0, rtcpChannel = 1;
        bool udpSilent = false;  // datagrams are counted but never sent (UDP unreachable)
        // The stream goes on with this clip `switchAfter` seconds after PLAY (resize fault).
        std::shared_ptr<const Clip> nextClip;
        double switchAfter = 0;
    };

    RtpStreamer(Setup setup, FaultSet& faults, StreamCounters& counters, std::function<void()> onClientReport);
    ~RtpStreamer();
    RtpStreamer(const RtpStreamer&) = delete;
    RtpStreamer& operator=(const RtpStreamer&) = delete;

    // Starts sending once; later calls do nothing.
    void Start();
    bool Started() const { return playing_; }
    // Ends the thread; with `bye`, a final sender report and BYE go to the client.
    void Stop(bool bye);

    std::uint16_t FirstSequence() const { return firstSequence_; }
    std::uint32_t FirstTimestamp() const { return firstTimestamp_; }
    std::uint32_t Ssrc() const { return ssrc_; }
    // RTCP from the client that arrived inside the RTSP connection.
    void OnClientRtcp(const std::uint8_t* data, std::size_t size);

private:
    void Run();
    void SendRtp(const Bytes& packet);
    // A frame's payloads in one sendmmsg call, or one write of the RTSP connection, when no
    // packet fault is in force. False: not taken.
    bool SendFrameBatched(const std::vector<Bytes>& payloads, std::uint32_t timestamp);
    bool SendFrameInterleaved(const std::vector<Bytes>& payloads, std::uint32_t timestamp);
    void SendRtcp(bool bye);
    void ReadRtcp();
    void CountReports(const std::uint8_t* data, std::size_t size);
    std::uint32_t TimestampAt(std::chrono::steady_clock::time_point t) const;

    Setup setup_;
    Bytes framed_;  // SendFrameInterleaved's block, kept between frames
    FaultSet& faults_;
    StreamCounters& counters_;
    std::function<void()> onClientReport_;
    StopSignal stop_;
    std::mutex threadMutex_;
    std::thread thread_;
    std::atomic<bool> playing_{false};
    std::atomic<bool> byeSent_{false};

    std::uint32_t ssrc_;
    std::uint16_t firstSequence_;
    std::uint32_t firstTimestamp_;
    // Touched by the streaming thread only (and by Stop after it joined).
    std::uint16_t sequence_;
    std::uint32_t timestampJump_ = 0;  // RTP ticks added by the ts-jump fault
    std::uint32_t packetCount_ = 0, octetCount_ = 0;
    std::chrono::steady_clock::time_point started_;
    Bytes heldBack_;  // a packet delayed behind the next one (reorder fault)
    std::uint64_t random_;
};

}  // namespace sim
