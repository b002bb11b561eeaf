#include "channels/CBaseRTSPChannel.h"

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

bool CBaseRTSPChannel::StartStream()
{
    const DEVICE_INFO& info = driver->GetDeviceInfo();
    RTSPSessionSettings settings;
    settings.host = info.host;
    settings.userName = info.user;
    settings.password = info.password;
    settings.connectTimeoutMs = info.requestTimeout;
    settings.receiveTimeoutMs = info.requestTimeout;
    if (!OpenRtpPorts()) {
        if (!IsStopping())
            driver->DebugMessage(DebugTrace, "%s: reason: no free UDP port pair from %u to %u",
                                 "velkora::CBaseRTSPChannel::StartStream", unsigned{kFirstRtpPort}, unsigned{kPortLimit});
        return false;
    }
    settings.rtpClientPort = receiver.GetPort();
    settings.rtcpClientPort = rtcpHandler.GetPort();
    driver->DebugMessage(DebugTrace, "%s: receiving on UDP %u (RTP) and %u (RTCP)",
                         "velkora::CBaseRTSPChannel::StartStream", unsigned{settings.rtpClientPort},
                         unsigned{settings.rtcpClientPort});
    FillSessionSettings(settings);
    if (IsStopping())
        return false;
    return rtspClient.Open(settings, this);
}

void CBaseRTSPChannel::StopStream()
{
    rtspClient.Close();
    CBaseRTPChannel::StopStream();
}

bool CBaseRTSPChannel::IsStreamAlive()
{
    return frameTimer.ElapsedMs() < driver->GetDeviceInfo().streamTimeout / 2 && rtspClient.GetLastResult() &&
           !byeEvent.IsSet();
}

}  // namespace velkora
