#include "channels/CBaseRTPChannel.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "foundation/FileTime.h"
#include "foundation/MethodName.h"
#include "rtp/RtpPortRange.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CBaseRTPChannel";
std::string AddressText(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

uint32_t ResolveIPv4(const std::string& host)
{
    if (host.empty())
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr)
        return 0;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(result);
    return address;
}

}  // namespace

CBaseRTPChannel::CBaseRTPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink)
    : CBaseCameraChannel(channelIndex, driver, sink), receiver(driver), rtcpHandler(driver)
{
    cameraAddress = ResolveIPv4(driver->GetDeviceInfo().host);
    // Any datagram from the camera's address, the stream's or not, makes a port pair stale
    // and shows that UDP reaches us.
    receiver.SetSource(cameraAddress, &packetEvent);
}

CBaseRTPChannel::~CBaseRTPChannel()
{
    Stop();
    receiver.Close();
    rtcpHandler.Close();
}

void CBaseRTPChannel::OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet)
{
    if (from.sin_addr.s_addr != cameraAddress)
        return;
    packetEvent.Set();
    if (!firstPacketTraced.load(std::memory_order_relaxed) && !firstPacketTraced.exchange(true))
        driver->DebugMessage(DebugTrace, "%s: first RTP datagram from %s:%d",
                             MethodName(kClassName, "OnRTPPacket").c_str(), AddressText(cameraAddress).c_str(),
                             ntohs(from.sin_port));
    rtcpHandler.NoteSequence(packet.GetSequenceNumber());
    ProcessRTPPacket(packet);
}

void CBaseRTPChannel::OnRTPSourceFollowed(uint16_t port, uint32_t ssrc, int32_t announced)
{
    // Whatever rewrote the RTP port rewrote the RTCP port too: RTCP follows the stream's SSRC.
    rtcpHandler.FollowPeer(ssrc);
    if (announced < 0 || sourceFollowReported)
        return;
    sourceFollowReported = true;
    driver->DebugMessage(DebugWarning,
                         "%s: Device %s sends RTP from port %u instead of port %d named in its SETUP answer; "
                         "the stream follows it",
                         MethodName(kClassName, "OnRTPPacket").c_str(), driver->GetName().c_str(), unsigned{port},
                         announced);
}

void CBaseRTPChannel::SetCameraPorts(uint16_t rtpPort, uint16_t rtcpPort, uint32_t ssrc)
{
    receiver.AnnounceSource(rtpPort, htonl(ssrc), payloadType_);  // the SSRC compared with the wire bytes
    rtcpHandler.SetPeerPort(rtcpPort);
}

void CBaseRTPChannel::OnRTCPBye()
{
    byeEvent.Set();
}

void CBaseRTPChannel::Stop()
{
    stopEvent.Set();
    {
        CAutoLock guard(deliveryLock);  // waits out a frame that is reporting the camera online
    }
    CBaseCameraChannel::Stop();
}

bool CBaseRTPChannel::OnFrame(ipcapture::IHostFrame* frame)
{
    if (!frameEvent.IsSet())
        driver->DebugMessage(DebugTrace, "%s: first frame", MethodName(kClassName, "OnFrame").c_str());
    frameEvent.Set();
    if (!SendFrameCallback(frame))
        return false;
    frameTimer.Update();
    CAutoLock guard(deliveryLock);
    if (!stopEvent.IsSet())
        SetCameraState(true);
    return true;
}

std::pair<uint16_t, uint16_t> CBaseRTPChannel::GetChannelPair()
{
    StreamParams p = GetStreamParams();
    return {p.width, p.height};
}

const std::string& CBaseRTPChannel::GetFrameSourceName()
{
    frameSourceName = driver->GetModuleName();
    return frameSourceName;
}

void CBaseRTPChannel::GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& frameTime)
{
    converter.Update(rtpTimestamp);
    if (converter.GetFrameTime() != 0 && converter.GetLastRtpTimestamp() != 0 &&
        FileTimeToSystemTime(converter.GetFrameTime(), &frameTime))
        return;
    GetSystemTime(&frameTime);
}

void CBaseRTPChannel::StopStream()
{
    receiver.Close();
    rtcpHandler.Close();
}

bool CBaseRTPChannel::IsStreamAlive()
{
    return frameTimer.ElapsedMs() < driver->GetDeviceInfo().streamTimeout / 2 && !byeEvent.IsSet();
}

bool CBaseRTPChannel::OpenRtpPorts()
{
    receiver.SetUser(this);
    rtcpHandler.SetUser(this);
    for (uint32_t port = kRtpPortFirst; port < kRtpPortEnd; port += 2) {
        if (IsStopping())
            return false;
        packetEvent.Reset();
        byeEvent.Reset();
        if (!receiver.Open(static_cast<uint16_t>(port)))
            continue;
        // A port that receives within half a second still has a sender from an earlier
        // session aimed at it; take the next one.
        int signalled = WaitForAnyEvent({&stopEvent, &packetEvent}, 500);
        if (signalled < 0 && rtcpHandler.Open(cameraAddress, static_cast<uint16_t>(port + 1)))
            return true;
        receiver.Close();
        rtcpHandler.Close();
    }
    return false;
}

bool CBaseRTPChannel::OpenInterleavedReceiver(IRTCPPacketSender& sender)
{
    receiver.SetUser(this);
    rtcpHandler.SetUser(this);
    packetEvent.Reset();
    byeEvent.Reset();
    if (receiver.OpenInterleaved() && rtcpHandler.OpenInterleaved(sender))
        return true;
    receiver.Close();
    rtcpHandler.Close();
    return false;
}

bool CBaseRTPChannel::RestartStream()
{
    StopStream();
    frameEvent.Reset();
    sessionEvent.Reset();
    converter.Reset();
    firstPacketTraced = false;
    if (PrepareStream() && StartStream())
        return true;
    StopStream();
    return false;
}

void CBaseRTPChannel::ReportSignalLost()
{
    try {
        if (sink)
            sink->SignalLost();
        if (ipcapture::IChannelListener* l = listener.load())
            l->OnSignalLost(channelIndex);
    } catch (...) {
        driver->DebugMessage(DebugFailure, "%s(): Unexpected exception, device %s",
                             MethodName(kClassName, "ReportSignalLost").c_str(), driver->GetName().c_str());
    }
    SetCameraState(false);
}

uint32_t CBaseRTPChannel::Run()
{
    const DEVICE_INFO& info = driver->GetDeviceInfo();
    const uint32_t streamTimeout = info.streamTimeout;
    const uint32_t firstFrameWait = std::max(info.requestTimeout, streamTimeout / 2);
    frameTimer.Update();
    bool longWait = false;
    // After a refused login the next attempts wait 2, 4, 8 ... 60 s: many cameras lock the
    // account (or our address) after a handful of refusals. A frame ends the back-off.
    uint32_t refusals = 0;
    uint32_t backOffMs = 0;
    auto noteRefusal = [&] {
        const std::string refusal = LoginRefusal();
        if (refusal.empty() || IsStopping())
            return;
        backOffMs = std::min(kLoginBackOffFirstMs << std::min<uint32_t>(refusals, 5), kLoginBackOffMaxMs);
        if (refusals++ == 0)
            driver->DebugMessage(DebugFailure,
                                 "%s: Device %s refused the login of channel %u (%s); it is tried again after %u s, "
                                 "then at growing intervals up to %u s",
                                 MethodName(kClassName, "Run").c_str(), driver->GetName().c_str(), channelIndex,
                                 refusal.c_str(), backOffMs / 1000, kLoginBackOffMaxMs / 1000);
    };
    for (;;) {
        const uint32_t waitMs = backOffMs != 0 ? backOffMs : longWait ? 1000 : 10;
        backOffMs = 0;
        if (stopEvent.Wait(waitMs)) {
            StopStream();
            SetChannelState(ChannelStopped);
            SetCameraState(false);
            break;
        }
        longWait = true;
        uint32_t state = GetChannelState();
        if (state == ChannelStreaming) {
            if (IsStreamAlive()) {
                if (keepAliveTimer.ElapsedMs() > keepAliveInterval) {
                    KeepAlive();
                    keepAliveTimer.Update();
                }
                continue;
            }
            SetChannelState(ChannelStreamLost);
            // After a BYE the camera gets a second before we reconnect; frames that just
            // stopped are chased at once.
            longWait = byeEvent.IsSet();
            continue;
        }
        if (state == ChannelStreamLost && frameTimer.ElapsedMs() >= streamTimeout) {
            ReportSignalLost();
        } else if (state == ChannelStopped && frameTimer.ElapsedMs() >= streamTimeout) {
            // A stream that has not delivered a frame since the start is lost too;
            // otherwise a camera that is down when recording starts is never reported.
            SetChannelState(ChannelStreamLost);
            ReportSignalLost();
        }
        if (!RestartStream()) {
            noteRefusal();
            continue;
        }
        int signalled = WaitForAnyEvent({&stopEvent, &frameEvent, &sessionEvent}, firstFrameWait);
        if (signalled < 0) {
            longWait = false;
            if (firstPacketTraced)
                driver->DebugMessage(DebugTrace,
                                     "%s: reason: RTP datagrams from %s on UDP %u but no whole frame within %g s",
                                     MethodName(kClassName, "Run").c_str(), AddressText(cameraAddress).c_str(),
                                     unsigned{receiver.GetPort()}, firstFrameWait / 1000.0);
            else
                driver->DebugMessage(
                    DebugTrace,
                    "%s: reason: no RTP datagram from %s on UDP %u within %g s: is a firewall dropping them?",
                    MethodName(kClassName, "Run").c_str(), AddressText(cameraAddress).c_str(),
                    unsigned{receiver.GetPort()}, firstFrameWait / 1000.0);
        } else if (signalled == 1) {
            SetChannelState(ChannelStreaming);
            refusals = 0;
        } else if (signalled == 2) {
            noteRefusal();
        }
    }
    return 0;
}

}  // namespace velkora
