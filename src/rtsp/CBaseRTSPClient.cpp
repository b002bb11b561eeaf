#include "rtsp/CBaseRTSPClient.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/KeyValueLookup.h"
#include "foundation/MethodName.h"
#include "foundation/Trace.h"
#include "rtsp/RtspAuthorization.h"
#include "rtsp/TextScan.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CBaseRTSPClient";
constexpr std::uint32_t kLoopWaitMs = 2000;
constexpr std::uint32_t kPollStepMs = 100;
constexpr std::uint32_t kCloseReceiveTimeoutMs = 100;
// One read of the connection when it carries media: the largest interleaved frame fits.
constexpr std::size_t kInterleavedReadSize = 64 * 1024 + CInterleavedDemuxer::kFrameHeaderSize;
// Packets the host could not take in time are reported at most this often.
constexpr std::uint64_t kDropReportIntervalMs = 5000;
constexpr const char* kRunMethod = "velkora::CBaseRTSPClient::Run";

std::uint64_t SteadyMs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

bool SetTimeout(int fd, int option, std::uint32_t ms)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

bool SetNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

}  // namespace

CBaseRTSPClient::CBaseRTSPClient(IDebugMessage* owner) : CBaseThread(owner) {}

CBaseRTSPClient::~CBaseRTSPClient()
{
    Close();
}

bool CBaseRTSPClient::Open(const RTSPSessionSettings& settings, IRTSPClientUser* user)
{
    if (socket_ >= 0)
        return false;  // a session is running; Close it first
    parser_.Reset();
    settings_ = settings;
    user_ = user;
    lastResult_ = false;
    lastKeepAliveMs_ = 0;
    receiveTimeoutMs_ = settings_.receiveTimeoutMs;
    transportRefused_ = false;
    playAccepted_ = false;
    loginRefused_ = false;
    rtpChannel_ = 0;
    demuxer_.Reset();
    awaitingResponse_ = responseReady_ = false;
    pendingResponse_.clear();
    droppedPackets_ = droppedSinceReport_ = strayFrames_ = 0;
    lastDropReportMs_ = 0;
    if (settings_.interleaved)
        readBuffer_.resize(kInterleavedReadSize);
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
    if (socket_ >= 0) {
        // TEARDOWN and any pending receive then give up after a short wait.
        receiveTimeoutMs_ = kCloseReceiveTimeoutMs;
        SetTimeout(socket_, SO_RCVTIMEO, kCloseReceiveTimeoutMs);
    }
    StopThread(std::max(settings_.receiveTimeoutMs, settings_.sendTimeoutMs) * 2 + 1000);
    {
        std::lock_guard<std::mutex> guard(sendMutex_);
        CloseSocket();
    }
    lastKeepAliveMs_ = 0;
    loginRefused_ = false;
    user_ = nullptr;
}

void CBaseRTSPClient::CloseSocket()
{
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

bool CBaseRTSPClient::Connect()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ < 0)
        return false;
    const int bufferSize = static_cast<int>(std::min<std::uint32_t>(settings_.receiveBufferSize, INT32_MAX));
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) != 0 ||
        !SetTimeout(socket_, SO_RCVTIMEO, settings_.receiveTimeoutMs) ||
        !SetTimeout(socket_, SO_SNDTIMEO, settings_.sendTimeoutMs)) {
        CloseSocket();
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string target = "RTSP " + settings_.host + ":" + std::to_string(settings_.rtspPort);
    if (settings_.host.empty() || getaddrinfo(settings_.host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        Trace("Connect", "reason: " + target + ": host name not resolved");
        CloseSocket();
        return false;
    }
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    address.sin_port = htons(settings_.rtspPort);

    if (!SetNonBlocking(socket_, true)) {
        CloseSocket();
        return false;
    }
    bool connected = ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    int failure = connected ? 0 : errno;
    if (!connected && errno == EINPROGRESS) {
        failure = ETIMEDOUT;
        const std::uint32_t steps = settings_.connectTimeoutMs / kPollStepMs;
        for (std::uint32_t step = 0; step < steps; ++step) {
            pollfd pfd{socket_, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(kPollStepMs));
            if (ready < 0 && errno != EINTR) {
                failure = errno;
                break;
            }
            if (ready > 0) {
                // Linux also reports a refused connection as writable: ask for the outcome.
                int error = 0;
                socklen_t length = sizeof error;
                connected = getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
                failure = error;
                break;
            }
        }
    }
    if (!connected || !SetNonBlocking(socket_, false)) {
        std::string why = failure == ETIMEDOUT
                              ? "no answer within " + std::to_string(settings_.connectTimeoutMs) + " ms"
                              : std::string(std::strerror(failure));
        if (!why.empty())
            why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
        Trace("Connect", "reason: " + target + ": " + why);
        CloseSocket();
        return false;
    }
    Trace("Connect", target + ": connected");
    return true;
}

void CBaseRTSPClient::Trace(const char* step, const std::string& text)
{
    if (owner)
        owner->DebugMessage(DebugTrace, "velkora::CBaseRTSPClient::%s: %s", step, text.c_str());
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
    if (ContainsLineBreak(requestUrl) || ContainsLineBreak(baseUrl) || ContainsLineBreak(session))
        return {};
    if (settings_.authScheme != kAuthNone &&
        (ContainsLineBreak(settings_.userName) || ContainsLineBreak(settings_.password) ||
         ContainsLineBreak(parser_.Realm()) || ContainsLineBreak(parser_.Nonce()))) {
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

bool CBaseRTSPClient::SendRequest(int method)
{
    const std::string request = BuildRequest(method);
    if (request.empty())
        return false;
    std::lock_guard<std::mutex> guard(sendMutex_);
    const ssize_t sent = ::send(socket_, request.data(), request.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(request.size());
}

bool CBaseRTSPClient::ReceiveResponse(int method, std::string& response)
{
    response.clear();
    std::size_t headerEnd = std::string::npos;
    std::size_t expected = kMaxHeaderSize;
    char buffer[4096];
    std::uint64_t deadline = SteadyMs() + receiveTimeoutMs_.load();
    while (response.size() < expected) {
        // Wait in short steps so that a stop request is noticed; TEARDOWN alone is
        // still awaited then, for the time Close allows it.
        if (method != kRtspTeardown && IsStopRequested())
            break;
        const std::uint64_t now = SteadyMs();
        deadline = std::min(deadline, now + receiveTimeoutMs_.load());
        if (now >= deadline)
            break;
        pollfd pfd{socket_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<std::uint64_t>(deadline - now, kPollStepMs)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        // Before the header end is known read small pieces, so the body of this
        // response is not read beyond what the header announces.
        const std::size_t want =
            std::min(sizeof buffer, headerEnd == std::string::npos ? std::size_t(512) : expected - response.size());
        const ssize_t got = ::recv(socket_, buffer, want, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (got <= 0)
            break;
        response.append(buffer, static_cast<std::size_t>(got));
        deadline = SteadyMs() + receiveTimeoutMs_.load();  // the time-out bounds each wait, as SO_RCVTIMEO would
        if (headerEnd == std::string::npos) {
            headerEnd = response.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const std::string headers = ToLower(std::string_view(response).substr(0, headerEnd + 2));
                const std::uint32_t length =
                    StrictUnsigned(LookupDelimitedValue(headers, "content-length", ": ", "\r\n"));
                expected = std::min<std::size_t>(headerEnd + 4 + std::size_t(length), kMaxResponseSize);
            } else if (response.size() >= kMaxHeaderSize) {
                return false;  // no end of the header block within the bound
            }
        }
    }
    return !response.empty();
}

bool CBaseRTSPClient::Exchange(int method)
{
    if (method != kRtspTeardown && IsStopRequested())
        return false;
    bool parsed = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string response;
        const std::string request =
            std::string(RtspMethodName(method)) + " " + TraceText(method == kRtspSetup ? MediaUrl() : BaseUrl());
        if (!SendRequest(method) || !(settings_.interleaved ? ReceiveInterleavedResponse(method, response)
                                                            : ReceiveResponse(method, response))) {
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
    const std::uint64_t now = SteadyMs();
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
            rtpChannel_ = parser_.InterleavedChannel();
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
    std::uint64_t nextCheck = SteadyMs() + kLoopWaitMs;
    while (!IsStopRequested()) {
        const std::uint64_t now = SteadyMs();
        if (now >= nextCheck) {
            KeepAliveCheck();
            nextCheck = SteadyMs() + kLoopWaitMs;
            continue;
        }
        if (!ReadInterleaved(static_cast<std::uint32_t>(std::min<std::uint64_t>(nextCheck - now, kPollStepMs)))) {
            lastResult_ = false;
            if (owner && !IsStopRequested()) {
                if (demuxer_.Lost()) {
                    owner->DebugMessage(DebugWarning,
                                        "%s: RTSP connection of %s lost its framing (an answer beyond %zu bytes); "
                                        "the stream restarts",
                                        kRunMethod, owner->GetName().c_str(), CInterleavedDemuxer::kMaxMessageSize);
                } else {
                    owner->DebugMessage(DebugWarning,
                                        "%s: %s closed the RTSP connection while streaming (%zu bytes of an "
                                        "unfinished packet dropped); the stream restarts",
                                        kRunMethod, owner->GetName().c_str(), demuxer_.Pending());
                }
            }
            break;
        }
        ReportDrops(false);
    }
    ReportDrops(true);
}

bool CBaseRTSPClient::ReadInterleaved(std::uint32_t waitMs)
{
    pollfd pfd{socket_, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(waitMs));
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return true;
    const ssize_t got = ::recv(socket_, readBuffer_.data(), readBuffer_.size(), MSG_DONTWAIT);
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (got == 0)
        return false;
    return demuxer_.Feed(readBuffer_.data(), static_cast<std::size_t>(got));
}

bool CBaseRTSPClient::ReceiveInterleavedResponse(int method, std::string& response)
{
    response.clear();
    pendingResponse_.clear();
    responseReady_ = false;
    awaitingResponse_ = true;
    // Media keep the connection busy, so the time-out bounds the whole wait, not each read.
    std::uint64_t deadline = SteadyMs() + receiveTimeoutMs_.load();
    while (!responseReady_) {
        if (method != kRtspTeardown && IsStopRequested())
            break;
        const std::uint64_t now = SteadyMs();
        deadline = std::min(deadline, now + receiveTimeoutMs_.load());
        if (now >= deadline)
            break;
        if (!ReadInterleaved(static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, kPollStepMs))))
            break;
    }
    awaitingResponse_ = false;
    response.swap(pendingResponse_);
    return !response.empty();
}

void CBaseRTSPClient::OnRtspMessage(std::string_view message)
{
    // Requests of the server and answers that come too late are not ours to read.
    if (!awaitingResponse_ || responseReady_ || !message.starts_with("RTSP/"))
        return;
    pendingResponse_.assign(message);
    responseReady_ = true;
}

void CBaseRTSPClient::OnInterleavedFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size)
{
    if (user_ == nullptr)
        return;
    const std::uint8_t rtp = rtpChannel_.load();
    try {
        if (channel == rtp) {
            if (!user_->OnInterleavedRTP(data, size)) {
                ++droppedPackets_;
                ++droppedSinceReport_;
            }
        } else if (channel == static_cast<std::uint8_t>(rtp + 1)) {
            user_->OnInterleavedRTCP(data, size);
        } else if (strayFrames_++ == 0 && owner) {
            owner->DebugMessage(DebugWarning,
                                "%s: %s sent data on interleaved channel %u, which was not set up; "
                                "such data is dropped",
                                kRunMethod, owner->GetName().c_str(), static_cast<unsigned>(channel));
        }
    } catch (...) {
        if (owner)
            owner->DebugMessage(DebugFailure, "Unhandled exception in method %s", kRunMethod);
    }
}

void CBaseRTSPClient::ReportDrops(bool final)
{
    if (droppedSinceReport_ == 0 || owner == nullptr)
        return;
    const std::uint64_t now = SteadyMs();
    if (!final && lastDropReportMs_ != 0 && now - lastDropReportMs_ < kDropReportIntervalMs)
        return;
    owner->DebugMessage(DebugWarning,
                        "%s: host fell behind %s: %llu RTP packets from the RTSP connection dropped "
                        "(%llu in this session)",
                        kRunMethod, owner->GetName().c_str(), static_cast<unsigned long long>(droppedSinceReport_),
                        static_cast<unsigned long long>(droppedPackets_));
    droppedSinceReport_ = 0;
    lastDropReportMs_ = now;
}

bool CBaseRTSPClient::SendAll(const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket_, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool CBaseRTSPClient::SendRTCPPacket(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0 || size > 0xffff)
        return false;
    std::string frame = {'$', static_cast<char>(rtpChannel_.load() + 1), static_cast<char>(size >> 8),
                         static_cast<char>(size & 0xff)};
    frame.append(reinterpret_cast<const char*>(data), size);
    std::lock_guard<std::mutex> guard(sendMutex_);
    if (socket_ < 0 || !settings_.interleaved)
        return false;
    return SendAll(frame.data(), frame.size());
}

}  // namespace velkora
