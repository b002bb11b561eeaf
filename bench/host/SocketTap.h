#pragma once
// Sees the socket calls of this process (library and in-process simulator
// alike) by standing in for send, sendto and bind: the only way to learn
// when the simulator sent the last packet of a frame, on the same clock as
// the host's DeliverFrame, without touching either side.

#include <cstdint>
#include <string>
#include <vector>

namespace benchhost {

int64_t NowNs();

// Per destination port: RTP frames (marker packets) sent and when the last one was.
struct PortTap {
    uint64_t framesSent = 0;
    uint64_t framesSentInWindow = 0;
    int64_t lastMarkerNs = 0;
    bool lastMarkerInWindow = false;
    int64_t firstNs = 0;  // the first RTP packet (or frame, from a board)
};

// Sends seen no more in this process but on the board of a simulator in another
// (sim/SendTimes.h): ports, frames and times are read from it from now on.
void UseSendTimes(const void* board);

// Snapshot of one port; reads are racy by design and only used between frames.
PortTap ReadPort(uint16_t port);
// Ports that received RTP since the tap started, in order of the first packet.
std::vector<uint16_t> RtpPorts();
void SetWindow(bool open);

enum class TapEvent
{
    OnvifRequest,
    RtspRequest,
    UdpBind,
    FirstRtp
};
struct TapRecord {
    TapEvent event;
    int64_t ns;
};
// Events since the last call (start-up phases of the stream being opened).
std::vector<TapRecord> TakeEvents();

}  // namespace benchhost
