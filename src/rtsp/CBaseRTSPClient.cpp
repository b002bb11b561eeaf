#include "rtsp/CBaseRTSPClient.h"

#include <algorithm>

#include "foundation/MethodName.h"
#include "foundation/MonotonicClock.h"
#include "foundation/ProtocolText.h"
#include "foundation/Trace.h"
#include "rtsp/RtspAuthorization.h"
#include "rtsp/TextScan.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CBaseRTSPClient";
constexpr std::uint32_t kLoopWaitMs = 2000;
constexpr std::uint32_t kPollStepMs = 100;
constexpr std::uint32_t kCloseReceiveTimeoutMs = 100;

}  // namespace

CBaseRTSPClient::CBaseRTSPClient(IDebugMessage* owner) : CBaseThread(owner) {}

CBaseRTSPClient::~CBaseRTSPClient()
{
    Close();
}

bool CBaseRTSPClient::Open(const RTSPSessionSettings& settings, IRTSPClientUser* user)
{
    if (connection_.IsOpen())
        return false;  // a session is running; Close it first
    parser_.Reset();
    settings_ = settings;
    user_ = user;
    lastResult_ = false;
    lastKeepAliveMs_ = 0;
    transportRefused_ = false;
    playAccepted_ = false;
    loginRefused_ = false;
    interleaved_.Reset(settings.rtpSink, settings.rtcpSink);
    if (!Connect()) {
        Close();
        return false;
    }
    const std::string device = owner ? owner->GetName() : std::string();
    const std::string threadName = "RTSP Client Thread (" + device + ")";
    if (!StartThread(threadName.c_str())) {
        Close();
        return false;
    }
    return true;
}

void CBaseRTSPClient::Close()
{
    // A pending receive and TEARDOWN then give up after a short wait, however the peer
    // trickles its answer.
    if (connection_.IsOpen())
        connection_.SetReceiveTimeout(kCloseReceiveTimeoutMs);
    StopThread(std::max(settings_.receiveTimeoutMs, settings_.sendTimeoutMs) * 2 + 1000);
    connection_.Close();
    lastKeepAliveMs_ = 0;
    loginRefused_ = false;
    user_ = nullptr;
    interleaved_.Reset(nullptr, nullptr);
}

bool CBaseRTSPClient::Connect()
{
    const std::string target = "RTSP " + settings_.host + ":" + std::to_string(settings_.rtspPort);
    std::string failure;
    if (!connection_.Connect(settings_, failure)) {
        Trace("Connect", "reason: " + target + ": " + failure);
        return false;
    }
    Trace("Connect", target + ": connected");
    return true;
}

void CBaseRTSPClient::Trace(const char* step, const std::string& text)
{
    if (owner)
        owner->DebugMessage(DebugTrace, "%s: %s", MethodName(kClassName, step).c_str(), text.c_str());
}

std::string CBaseRTSPClient::BaseUrl() const
{
    const std::string& base = parser_.ContentBase();
    if (base.find("rtsp://") != std::string::npos)
        return base;
    std::string url = "rtsp://" + settings_.host + ":" + std::to_string(settings_.rtspPort) + "/";
    const auto pathStart = settings_.streamPath.find_first_not_of('/');
    if (pathStart != std::string::npos)
        url += settings_.streamPath.substr(pathStart);
    return url;
}

std::string CBaseRTSPClient::MediaUrl() const
{
    const MediaBlock* block = parser_.Media().Block(settings_.mediaSelection);
    const std::string control = block ? block->control : std::string();
    if (control.find("://") != std::string::npos)
        return control;
    std::string base = BaseUrl();
    if (base.empty() || control.empty())
        return base;
    if (base.back() == '/')
        base.pop_back();
    if (control.front() != '/')
        base += '/';
    return base + control;
}

std::string CBaseRTSPClient::BuildRequest(int method)
{
    const std::uint32_t cseq = parser_.NextCSeq();
    const std::string baseUrl = BaseUrl();
    const std::string requestUrl = method == kRtspSetup ? MediaUrl() : baseUrl;
    const std::string& session = parser_.Session();
    // Values from the host and the device must not be able to add lines to the request.
    if (HasLineBreak(requestUrl) || HasLineBreak(baseUrl) || HasLineBreak(session))
        return {};
    if (settings_.authScheme != kAuthNone && (HasLineBreak(settings_.userName) || HasLineBreak(settings_.password) ||
                                              HasLineBreak(parser_.Realm()) || HasLineBreak(parser_.Nonce()))) {
        return {};
    }
    const char* name = RtspMethodName(method);
    const std::string authorization = MakeAuthorization(settings_.authScheme, settings_.userName, settings_.password,
                                                        parser_.Realm(), parser_.Nonce(), name, baseUrl);
    const std::string sessionLine = session.empty() ? std::string() : "Session: " + session + "\r\n";

    std::string request = std::string(name) + " " + requestUrl + " RTSP/1.0\r\n";
    request += "CSeq: " + std::to_string(cseq) + "\r\n";
    request += authorization;
    request += "User-Agent: Velkora\r\n";
    switch (method) {
    case kRtspDescribe: request += "Accept: application/sdp\r\n"; break;
    case kRtspSetup: {
        if (settings_.interleaved) {
            request += "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n";
            break;
        }
        const MediaBlock* block = parser_.Media().Block(settings_.mediaSelection);
        const std::string protocol =
            block && !block->protocol.empty() && block->protocol != "RTP/AVP" ? block->protocol : "RTP/AVP/UDP";
        request += "Transport: " + protocol + ";unicast;client_port=" + std::to_string(settings_.rtpClientPort) + "-" +
                   std::to_string(settings_.rtcpClientPort) + "\r\n";
        break;
    }
    case kRtspPlay: request += sessionLine + "Range: npt=0.000-\r\n"; break;
    case kRtspTeardown:
    case kRtspOptions: request += sessionLine; break;
    default: return {};
    }
    request += "\r\n";
    return request;
}

bool CBaseRTSPClient::SendRequest(int method, std::uint64_t deadline)
{
    const std::string request = BuildRequest(method);
    return !request.empty() && connection_.Send(request.data(), request.size(), deadline);
}

bool CBaseRTSPClient::Exchange(int method)
{
    if (method != kRtspTeardown && IsStopRequested())
        return false;
    // Waits notice a stop in short steps; TEARDOWN alone is still awaited then, for
    // the time Close allows it.
    const auto giveUp = [this, method] { return method != kRtspTeardown && IsStopRequested(); };
    bool parsed = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string response;
        const std::string request =
            std::string(RtspMethodName(method)) + " " + TraceAddress(method == kRtspSetup ? MediaUrl() : BaseUrl());
        // One deadline for sending the request and reading its whole answer.
        const std::uint64_t deadline = connection_.ExchangeDeadline();
        if (!SendRequest(method, deadline) ||
            !(settings_.interleaved ? interleaved_.ReceiveResponse(connection_, response, deadline, giveUp)
                                    : connection_.ReceiveResponse(response, deadline, giveUp))) {
            if (method != kRtspTeardown && !IsStopRequested())
                Trace("Exchange", "reason: RTSP " + request + ": no answer");
            return false;
        }
        parsed = parser_.Parse(method, response);
        // One more attempt when the server asks for a scheme not yet tried; never from
        // Digest down to Basic, nor to Basic at all when plain-text passwords are off.
        const int challenged = parsed && parser_.Status() == 401 ? parser_.AuthScheme() : kAuthNone;
        const bool downgrade = challenged == kAuthBasic && settings_.authScheme == kAuthDigest;
        const bool withheld = challenged == kAuthBasic && !settings_.basicAllowed;
        if (withheld && !basicRefusalReported_ && owner) {
            basicRefusalReported_ = true;
            owner->DebugMessage(DebugFailure,
                                "%s: Device %s asks for RTSP Basic authentication, which would send the password in "
                                "clear; it is not sent (HARNOQUISTEL_PLAINTEXT_PASSWORD=never)",
                                MethodName(kClassName, "Exchange").c_str(), owner->GetName().c_str());
        }
        const bool retry =
            challenged != kAuthNone && challenged != settings_.authScheme && !downgrade && !withheld && attempt == 0;
        const bool good = parsed && parser_.Status() >= 200 && parser_.Status() < 300;
        Trace("Exchange", std::string(good || retry ? "" : "reason: ") + "RTSP " + request + ": " +
                              TraceText(std::string_view(response).substr(0, response.find("\r\n"))));
        if (retry) {
            settings_.authScheme = parser_.AuthScheme();
            continue;
        }
        break;
    }
    if (parsed && parser_.Status() == 401 && method != kRtspTeardown)
        loginRefused_ = true;
    return parsed && parser_.Status() >= 200 && parser_.Status() < 300;
}

void CBaseRTSPClient::KeepAliveCheck()
{
    const std::uint32_t timeoutSec =
        parser_.SessionTimeout() != 0 ? parser_.SessionTimeout() : settings_.defaultSessionTimeoutSec;
    const std::uint64_t intervalMs = std::uint64_t(timeoutSec) * 1000 / 2;
    const std::uint64_t now = MonotonicMs();
    if (lastKeepAliveMs_ != 0 && now - lastKeepAliveMs_ <= intervalMs)
        return;
    lastResult_ = Exchange(kRtspOptions);
    lastKeepAliveMs_ = now;
}

bool CBaseRTSPClient::CallOnDescribe()
{
    if (!user_)
        return true;
    try {
        return user_->OnDescribe(parser_.Media());
    } catch (...) {
        if (owner)
            owner->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                                MethodName(kClassName, "CallOnDescribe").c_str());
        return false;
    }
}

bool CBaseRTSPClient::CallOnSetup()
{
    if (!user_)
        return true;
    try {
        user_->OnSetup(parser_.ServerRtpPort(), parser_.ServerRtcpPort());
        return true;
    } catch (...) {
        if (owner)
            owner->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                                MethodName(kClassName, "CallOnSetup").c_str());
        return false;
    }
}

void CBaseRTSPClient::CallOnSessionClosed()
{
    if (!user_)
        return;
    try {
        user_->OnSessionClosed();
    } catch (...) {
        if (owner)
            owner->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                                MethodName(kClassName, "CallOnSessionClosed").c_str());
    }
}

uint32_t CBaseRTSPClient::Run()
{
    playRequest_.Reset();
    lastResult_ = Exchange(kRtspDescribe);
    if (!lastResult_) {
        CallOnSessionClosed();
        return 0;
    }
    bool setUp = CallOnDescribe();
    if (setUp) {
        setUp = Exchange(kRtspSetup);
        lastResult_ = setUp;
        transportRefused_ = !setUp && parser_.Status() == 461;
        if (setUp)
            interleaved_.SetRtpChannel(parser_.InterleavedChannel());
    }
    if (setUp)
        setUp = CallOnSetup();
    if (setUp && settings_.interleaved) {
        RunInterleaved();
    } else if (setUp) {
        playRequest_.Set();
        while (true) {
            const int signalled = WaitForAnyEvent({&stopEvent, &playRequest_}, kLoopWaitMs);
            if (signalled == 0)
                break;
            if (signalled == 1) {
                lastResult_ = Exchange(kRtspPlay);
                playAccepted_ = lastResult_.load();
            } else {
                KeepAliveCheck();
            }
        }
    }
    lastResult_ = Exchange(kRtspTeardown);
    CallOnSessionClosed();
    return 0;
}

void CBaseRTSPClient::RunInterleaved()
{
    lastResult_ = Exchange(kRtspPlay);
    playAccepted_ = lastResult_.load();
    // The connection is read without pause; the keep-alive is checked as often as the
    // UDP session loop checks it.
    std::uint64_t nextCheck = MonotonicMs() + kLoopWaitMs;
    while (!IsStopRequested()) {
        const std::uint64_t now = MonotonicMs();
        if (now >= nextCheck) {
            KeepAliveCheck();
            nextCheck = MonotonicMs() + kLoopWaitMs;
            continue;
        }
        // The same wait every time: a change of it costs the connection a system call.
        if (!interleaved_.Read(connection_, kPollStepMs)) {
            lastResult_ = false;
            if (owner && !IsStopRequested()) {
                if (interleaved_.Lost()) {
                    owner->DebugMessage(DebugWarning,
                                        "%s: RTSP connection of %s lost its framing (an answer beyond %zu bytes); "
                                        "the stream restarts",
                                        MethodName(kClassName, "Run").c_str(), owner->GetName().c_str(),
                                        CInterleavedDemuxer::kMaxMessageSize);
                } else {
                    owner->DebugMessage(DebugWarning,
                                        "%s: %s closed the RTSP connection while streaming (%zu bytes of an "
                                        "unfinished packet dropped); the stream restarts",
                                        MethodName(kClassName, "Run").c_str(), owner->GetName().c_str(),
                                        interleaved_.Pending());
                }
            }
            break;
        }
        interleaved_.ReportDrops(false);
    }
    interleaved_.ReportDrops(true);
}

bool CBaseRTSPClient::SendRTCPPacket(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0 || size > 0xffff || !settings_.interleaved)
        return false;
    std::string frame = {'$', static_cast<char>(interleaved_.RtpChannel() + 1), static_cast<char>(size >> 8),
                         static_cast<char>(size & 0xff)};
    frame.append(reinterpret_cast<const char*>(data), size);
    return connection_.Send(frame.data(), frame.size(), MonotonicMs() + settings_.sendTimeoutMs);
}

}  // namespace velkora
