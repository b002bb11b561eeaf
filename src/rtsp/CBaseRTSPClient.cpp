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
#include "foundation/Trace.h"
#include "rtsp/RtspAuthorization.h"
#include "rtsp/TextScan.h"

namespace velkora {

namespace {

constexpr std::uint32_t kLoopWaitMs = 2000;
constexpr std::uint32_t kPollStepMs = 100;
constexpr std::uint32_t kCloseReceiveTimeoutMs = 100;

std::uint64_t SteadyMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool SetTimeout(int fd, int option, std::uint32_t ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

}  // namespace

CBaseRTSPClient::CBaseRTSPClient(IDebugMessage* owner) : CBaseThread(owner) {}

CBaseRTSPClient::~CBaseRTSPClient() { Close(); }

bool CBaseRTSPClient::Open(const RTSPSessionSettings& settings, IRTSPClientUser* user) {
    if (socket_ >= 0) return false;  // a session is running; Close it first
    parser_.Reset();
    settings_ = settings;
    user_ = user;
    lastResult_ = false;
    lastKeepAliveMs_ = 0;
    receiveTimeoutMs_ = settings_.receiveTimeoutMs;
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

void CBaseRTSPClient::Close() {
    if (socket_ >= 0) {
        // TEARDOWN and any pending receive then give up after a short wait.
        receiveTimeoutMs_ = kCloseReceiveTimeoutMs;
        SetTimeout(socket_, SO_RCVTIMEO, kCloseReceiveTimeoutMs);
    }
    StopThread(std::max(settings_.receiveTimeoutMs, settings_.sendTimeoutMs) * 2 + 1000);
    CloseSocket();
    lastKeepAliveMs_ = 0;
    user_ = nullptr;
}

void CBaseRTSPClient::CloseSocket() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

bool CBaseRTSPClient::Connect() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ < 0) return false;
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
        std::string why = failure == ETIMEDOUT ? "no answer within " + std::to_string(settings_.connectTimeoutMs) + " ms"
                                               : std::string(std::strerror(failure));
        if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
        Trace("Connect", "reason: " + target + ": " + why);
        CloseSocket();
        return false;
    }
    Trace("Connect", target + ": connected");
    return true;
}

void CBaseRTSPClient::Trace(const char* step, const std::string& text) {
    if (owner) owner->DebugMessage(DebugTrace, "velkora::CBaseRTSPClient::%s: %s", step, text.c_str());
}

std::string CBaseRTSPClient::BaseUrl() const {
    const std::string& base = parser_.ContentBase();
    if (base.find("rtsp://") != std::string::npos) return base;
    std::string url = "rtsp://" + settings_.host + ":" + std::to_string(settings_.rtspPort) + "/";
    const auto pathStart = settings_.streamPath.find_first_not_of('/');
    if (pathStart != std::string::npos) url += settings_.streamPath.substr(pathStart);
    return url;
}

std::string CBaseRTSPClient::MediaUrl() const {
    const MediaBlock* block = parser_.Media().Block(settings_.mediaSelection);
    const std::string control = block ? block->control : std::string();
    if (control.find("://") != std::string::npos) return control;
    std::string base = BaseUrl();
    if (base.empty() || control.empty()) return base;
    if (base.back() == '/') base.pop_back();
    if (control.front() != '/') base += '/';
    return base + control;
}

std::string CBaseRTSPClient::BuildRequest(int method) {
    using rtsptext::ContainsLineBreak;
    const std::uint32_t cseq = parser_.NextCSeq();
    const std::string baseUrl = BaseUrl();
    const std::string requestUrl = method == kRtspSetup ? MediaUrl() : baseUrl;
    const std::string& session = parser_.Session();
    // Values from the host and the device must not be able to add lines to the request.
    if (ContainsLineBreak(requestUrl) || ContainsLineBreak(baseUrl) || ContainsLineBreak(session)) return {};
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
        case kRtspDescribe:
            request += "Accept: application/sdp\r\n";
            break;
        case kRtspSetup: {
            const MediaBlock* block = parser_.Media().Block(settings_.mediaSelection);
            const std::string protocol =
                block && !block->protocol.empty() && block->protocol != "RTP/AVP" ? block->protocol : "RTP/AVP/UDP";
            request += "Transport: " + protocol + ";unicast;client_port=" + std::to_string(settings_.rtpClientPort) +
                       "-" + std::to_string(settings_.rtcpClientPort) + "\r\n";
            break;
        }
        case kRtspPlay:
            request += sessionLine + "Range: npt=0.000-\r\n";
            break;
        case kRtspTeardown:
        case kRtspOptions:
            request += sessionLine;
            break;
        default:
            return {};
    }
    request += "\r\n";
    return request;
}

bool CBaseRTSPClient::SendRequest(int method) {
    const std::string request = BuildRequest(method);
    if (request.empty()) return false;
    const ssize_t sent = ::send(socket_, request.data(), request.size(), MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(request.size());
}

bool CBaseRTSPClient::ReceiveResponse(int method, std::string& response) {
    response.clear();
    std::size_t headerEnd = std::string::npos;
    std::size_t expected = kMaxHeaderSize;
    char buffer[4096];
    std::uint64_t deadline = SteadyMs() + receiveTimeoutMs_.load();
    while (response.size() < expected) {
        // Wait in short steps so that a stop request is noticed; TEARDOWN alone is
        // still awaited then, for the time Close allows it.
        if (method != kRtspTeardown && IsStopRequested()) break;
        const std::uint64_t now = SteadyMs();
        deadline = std::min(deadline, now + receiveTimeoutMs_.load());
        if (now >= deadline) break;
        pollfd pfd{socket_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<std::uint64_t>(deadline - now, kPollStepMs)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        // Before the header end is known read small pieces, so the body of this
        // response is not read beyond what the header announces.
        const std::size_t want = std::min(sizeof buffer, headerEnd == std::string::npos
                                                             ? std::size_t(512)
                                                             : expected - response.size());
        const ssize_t got = ::recv(socket_, buffer, want, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (got <= 0) break;
        response.append(buffer, static_cast<std::size_t>(got));
        deadline = SteadyMs() + receiveTimeoutMs_.load();  // the time-out bounds each wait, as SO_RCVTIMEO would
        if (headerEnd == std::string::npos) {
            headerEnd = response.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const std::string headers = rtsptext::ToLower(std::string_view(response).substr(0, headerEnd + 2));
                const std::uint32_t length =
                    rtsptext::StrictUnsigned(LookupDelimitedValue(headers, "content-length", ": ", "\r\n"));
                expected = std::min<std::size_t>(headerEnd + 4 + std::size_t(length), kMaxResponseSize);
            } else if (response.size() >= kMaxHeaderSize) {
                return false;  // no end of the header block within the bound
            }
        }
    }
    return !response.empty();
}

bool CBaseRTSPClient::Exchange(int method) {
    if (method != kRtspTeardown && IsStopRequested()) return false;
    bool parsed = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string response;
        const std::string request = std::string(RtspMethodName(method)) + " " +
                                    TraceText(method == kRtspSetup ? MediaUrl() : BaseUrl());
        if (!SendRequest(method) || !ReceiveResponse(method, response)) {
            if (method != kRtspTeardown && !IsStopRequested())
                Trace("Exchange", "reason: RTSP " + request + ": no answer");
            return false;
        }
        parsed = parser_.Parse(method, response);
        // One more attempt when the server asks for a scheme not yet tried.
        const bool retry =
            parsed && parser_.Status() == 401 && parser_.AuthScheme() != settings_.authScheme && attempt == 0;
        const bool good = parsed && parser_.Status() >= 200 && parser_.Status() < 300;
        Trace("Exchange", std::string(good || retry ? "" : "reason: ") + "RTSP " + request + ": " +
                              TraceText(std::string_view(response).substr(0, response.find("\r\n"))));
        if (retry) {
            settings_.authScheme = parser_.AuthScheme();
            continue;
        }
        break;
    }
    return parsed && parser_.Status() >= 200 && parser_.Status() < 300;
}

void CBaseRTSPClient::KeepAliveCheck() {
    const std::uint32_t timeoutSec =
        parser_.SessionTimeout() != 0 ? parser_.SessionTimeout() : settings_.defaultSessionTimeoutSec;
    const std::uint64_t intervalMs = std::uint64_t(timeoutSec) * 1000 / 2;
    const std::uint64_t now = SteadyMs();
    if (lastKeepAliveMs_ != 0 && now - lastKeepAliveMs_ <= intervalMs) return;
    lastResult_ = Exchange(kRtspOptions);
    lastKeepAliveMs_ = now;
}

bool CBaseRTSPClient::CallOnDescribe() {
    if (!user_) return true;
    try {
        return user_->OnDescribe(parser_.Media());
    } catch (...) {
        if (owner) owner->DebugMessage(DebugFailure, "Unhandled exception in method %s", "velkora::CBaseRTSPClient::Run");
        return false;
    }
}

bool CBaseRTSPClient::CallOnSetup() {
    if (!user_) return true;
    try {
        user_->OnSetup(parser_.ServerRtpPort(), parser_.ServerRtcpPort());
        return true;
    } catch (...) {
        if (owner) owner->DebugMessage(DebugFailure, "Unhandled exception in method %s", "velkora::CBaseRTSPClient::Run");
        return false;
    }
}

void CBaseRTSPClient::CallOnSessionClosed() {
    if (!user_) return;
    try {
        user_->OnSessionClosed();
    } catch (...) {
        if (owner) owner->DebugMessage(DebugFailure, "Unhandled exception in method %s", "velkora::CBaseRTSPClient::Run");
    }
}

uint32_t CBaseRTSPClient::Run() {
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
    }
    if (setUp) setUp = CallOnSetup();
    if (setUp) {
        playRequest_.Set();
        while (true) {
            const int signalled = WaitForAnyEvent({&stopEvent, &playRequest_}, kLoopWaitMs);
            if (signalled == 0) break;
            if (signalled == 1) {
                lastResult_ = Exchange(kRtspPlay);
            } else {
                KeepAliveCheck();
            }
        }
    }
    lastResult_ = Exchange(kRtspTeardown);
    CallOnSessionClosed();
    return 0;
}

}  // namespace velkora
