#pragma once

#include <cstdint>
#include <string>

#include "rtp/IInterleavedPacketSink.h"
#include "rtsp/MediaDescription.h"
#include "rtsp/RtspMethod.h"

namespace velkora {

// What the RTSP channel tells the client about one session; copied at Open.
struct RTSPSessionSettings {
    std::uint16_t rtspPort = 554;
    std::uint16_t rtpClientPort = 0;   // local RTP port offered in "client_port"
    std::uint16_t rtcpClientPort = 0;  // local RTCP port offered in "client_port"
    std::string host;                  // camera host name or dotted address
    std::string userName;
    std::string password;
    std::uint32_t connectTimeoutMs = 5000;
    std::uint32_t receiveTimeoutMs = 5000;
    std::uint32_t receiveBufferSize = 65536;
    std::uint32_t sendTimeoutMs = 1000;
    std::uint32_t defaultSessionTimeoutSec = 60;  // when no response carried "timeout"
    int authScheme = kAuthNone;                   // RtspAuthScheme
    bool basicAllowed = true;                     // false: a Basic challenge gets no password
    std::string streamPath;                       // path and query, starting with '/'
    int mediaSelection = kMediaVideo;             // which SDP media block is set up
    // RTP and RTCP inside this connection (RTP/AVP/TCP, interleaved) instead of the
    // client ports above; the packets go straight to these (on the session thread).
    bool interleaved = false;
    IInterleavedPacketSink* rtpSink = nullptr;
    IInterleavedPacketSink* rtcpSink = nullptr;
};

}  // namespace velkora
