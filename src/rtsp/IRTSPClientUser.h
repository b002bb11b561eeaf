#pragma once

#include "rtp/IRTCPHandlerUser.h"
#include "rtsp/MediaDescription.h"

#include <cstdint>

namespace velkora {

class CRTPPacket;

// Implemented by the RTSP channel; called on the RTSP client's thread.
class IRTSPClientUser : public IRTCPHandlerUser
{
public:
    ~IRTSPClientUser() override = default;
    // The parsed SDP of the DESCRIBE answer; false ends the session before SETUP.
    virtual bool OnDescribe(const MediaDescription& media) = 0;
    // The SETUP answer was accepted; the ports the camera sends RTP and RTCP from, 0
    // where the answer did not state them. Comes before PLAY is sent.
    virtual void OnSetup(uint16_t serverRtpPort, uint16_t serverRtcpPort) = 0;
    // RTP carried inside the RTSP connection; never produced: interleaved packets go to
    // the sinks of the session's settings.
    virtual void OnRTPPacket(const CRTPPacket& packet) = 0;
    // The session thread has ended (after TEARDOWN or a failed DESCRIBE).
    virtual void OnSessionClosed() = 0;
};

}  // namespace velkora
