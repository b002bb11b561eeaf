#include "channels/CBaseRTSPChannel.h"

#include "rtp/RtpPortRange.h"
#include "foundation/MethodName.h"

namespace velkora {

CBaseRTSPChannel::CBaseRTSPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink)
    : CBaseRTPChannel(channelIndex, driver, sink), rtspClient(driver)
{
}

CBaseRTSPChannel::~CBaseRTSPChannel()
{
    Stop();
    rtspClient.Close();
}

void CBaseRTSPChannel::OnRTPPacket(const CRTPPacket& packet)
{
    packetEvent.Set();
    rtcpHandler.NoteSequence(packet.GetSequenceNumber());
    ProcessRTPPacket(packet);
}

void CBaseRTSPChannel::OnSessionClosed()
{
    sessionEvent.Set();
}

uint32_t CBaseRTSPChannel::Run()
{
    switchedToTcp = false;  // each opening of the stream tries UDP first again
    return CBaseRTPChannel::Run();
}

bool CBaseRTSPChannel::ChooseInterleaved() const
{
    switch (driver->GetDeviceInfo().rtspTransport) {
    case RtspTransport::Tcp: return true;
    case RtspTransport::Udp: return false;
    case RtspTransport::Auto: break;
    }
    return switchedToTcp;
}

void CBaseRTSPChannel::NoteUdpOutcome()
{
    if (interleaved || switchedToTcp || IsStopping() || driver->GetDeviceInfo().rtspTransport != RtspTransport::Auto)
        return;
    const char* reason = nullptr;
    if (rtspClient.TransportRefused())
        reason = "the camera refused RTP over UDP (461 Unsupported Transport)";
    else if (rtspClient.PlayAccepted() && !packetEvent.IsSet())
        reason = "no RTP datagram arrived after PLAY";
    if (reason == nullptr)
        return;
    switchedToTcp = true;
    driver->DebugMessage(
        DebugWarning, "%s: stream of %s (channel %u) switches to RTP inside the RTSP connection (TCP): %s",
        MethodName(kBaseRtspChannelClassName, "StopStream").c_str(), driver->GetName().c_str(), channelIndex, reason);
}

bool CBaseRTSPChannel::StartStream()
{
    const DEVICE_INFO& info = driver->GetDeviceInfo();
    RTSPSessionSettings settings;
    settings.host = info.host;
    settings.userName = info.user;
    settings.password = info.password;
    settings.basicAllowed = !info.neverPlaintextPassword;
    settings.connectTimeoutMs = info.requestTimeout;
    settings.receiveTimeoutMs = info.requestTimeout;
    interleaved = ChooseInterleaved();
    if (interleaved) {
        if (!OpenInterleavedReceiver(rtspClient))
            return false;
        settings.interleaved = true;
        settings.rtpSink = &receiver;
        settings.rtcpSink = &rtcpHandler;
    } else {
        if (!OpenRtpPorts()) {
            if (!IsStopping())
                driver->DebugMessage(DebugTrace, "%s: reason: no free UDP port pair from %u to %u",
                                     MethodName(kBaseRtspChannelClassName, "StartStream").c_str(),
                                     unsigned{kRtpPortFirst}, unsigned{kRtpPortEnd});
            return false;
        }
        settings.rtpClientPort = receiver.GetPort();
        settings.rtcpClientPort = rtcpHandler.GetPort();
        driver->DebugMessage(DebugTrace, "%s: receiving on UDP %u (RTP) and %u (RTCP)",
                             MethodName(kBaseRtspChannelClassName, "StartStream").c_str(),
                             unsigned{settings.rtpClientPort}, unsigned{settings.rtcpClientPort});
    }
    FillSessionSettings(settings);
    if (IsStopping())
        return false;
    return rtspClient.Open(settings, this);
}

void CBaseRTSPChannel::StopStream()
{
    NoteUdpOutcome();
    // Inside the connection the RTCP BYE must leave before TEARDOWN closes it.
    if (interleaved)
        rtcpHandler.Close();
    rtspClient.Close();
    CBaseRTPChannel::StopStream();
}

bool CBaseRTSPChannel::IsStreamAlive()
{
    return frameTimer.ElapsedMs() < driver->GetDeviceInfo().streamTimeout / 2 && rtspClient.GetLastResult() &&
           !byeEvent.IsSet();
}

}  // namespace velkora
