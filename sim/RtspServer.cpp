#include "sim/RtspServer.h"

#include "foundation/Base64.h"
#include "sim/H264Packetizer.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <sstream>

namespace sim {

namespace {

constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxSessions = 64;

std::int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 453: return "Not Enough Bandwidth";
    case 454: return "Session Not Found";
    case 455: return "Method Not Valid in This State";
    case 461: return "Unsupported Transport";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 505: return "RTSP Version not supported";
    default: return "Error";
    }
}

std::string Address(const sockaddr_in& a)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 2000) <= 0)
            return false;
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Client RTP and RTCP ports from one transport alternative; false when it is not UDP unicast.
bool ParseTransport(const std::string& alternative, unsigned& rtp, unsigned& rtcp)
{
    std::istringstream parts(alternative);
    std::string part, protocol;
    std::getline(parts, protocol, ';');
    protocol = Lower(protocol);
    if (protocol != "rtp/avp" && protocol != "rtp/avp/udp")
        return false;
    bool found = false;
    while (std::getline(parts, part, ';')) {
        part = Lower(part);
        if (part == "multicast")
            return false;
        if (part.compare(0, 12, "client_port=") != 0)
            continue;
        unsigned a = 0, b = 0;
        char dash = 0;
        std::istringstream ports(part.substr(12));
        if (!(ports >> a))
            return false;
        if (ports >> dash) {
            if (dash != '-' || !(ports >> b))
                return false;
        } else {
            b = a + 1;
        }
        if (a == 0 || a > 65535 || b == 0 || b > 65535)
            return false;
        rtp = a;
        rtcp = b;
        found = true;
    }
    return found;
}

// The channels of one "RTP/AVP/TCP" transport alternative (0-1 when it names none);
// false when it is not TCP unicast.
bool ParseInterleaved(const std::string& alternative, unsigned& rtp, unsigned& rtcp)
{
    std::istringstream parts(alternative);
    std::string part, protocol;
    std::getline(parts, protocol, ';');
    if (Lower(protocol) != "rtp/avp/tcp")
        return false;
    rtp = 0;
    rtcp = 1;
    while (std::getline(parts, part, ';')) {
        part = Lower(part);
        if (part == "multicast")
            return false;
        if (part.compare(0, 12, "interleaved=") != 0)
            continue;
        unsigned a = 0, b = 0;
        char dash = 0;
        std::istringstream channels(part.substr(12));
        if (!(channels >> a))
            return false;
        if (channels >> dash) {
            if (dash != '-' || !(channels >> b))
                return false;
        } else {
            b = a + 1;
        }
        if (a > 255 || b > 255 || a == b)
            return false;
        rtp = a;
        rtcp = b;
    }
    return true;
}

// An even/odd UDP port pair on the address the client reached us at.
bool OpenPortPair(in_addr address, int& rtp, int& rtcp, std::uint16_t& port)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        int a = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr = address;
        socklen_t len = sizeof addr;
        if (a < 0)
            return false;
        if (::bind(a, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::getsockname(a, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(a);
            return false;
        }
        const std::uint16_t p = ntohs(addr.sin_port);
        if (p % 2 != 0 || p == 65534) {
            ::close(a);
            continue;
        }
        int b = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        addr.sin_port = htons(static_cast<std::uint16_t>(p + 1));
        if (b >= 0 && ::bind(b, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            rtp = a;
            rtcp = b;
            port = p;
            return true;
        }
        if (b >= 0)
            ::close(b);
        ::close(a);
    }
    return false;
}

std::string RandomHex(int digits)
{
    static std::mt19937_64 engine{std::random_device{}()};
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::string s;
    while (static_cast<int>(s.size()) < digits) {
        char b[17];
        std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(engine()));
        s += b;
    }
    return s.substr(0, digits);
}

}  // namespace

bool RtspServer::Link::Send(const char* data, std::size_t size)
{
    std::lock_guard lock(mutex);
    return open && SendAll(fd, data, size);
}

bool RtspServer::Link::SendFrame(std::uint8_t channel, const Bytes& packet)
{
    if (packet.size() > 0xffff)
        return false;
    Bytes frame(4 + packet.size());
    PutInterleavedHeader(frame.data(), channel, static_cast<std::uint16_t>(packet.size()));
    std::copy(packet.begin(), packet.end(), frame.begin() + 4);
    return Send(reinterpret_cast<const char*>(frame.data()), frame.size());
}

void RtspServer::Link::Shut()
{
    std::lock_guard lock(mutex);
    open = false;
}

RtspServer::Session::~Session()
{
    streamer.reset();
    if (rtpSocket >= 0)
        ::close(rtpSocket);
    if (rtcpSocket >= 0)
        ::close(rtcpSocket);
}

RtspServer::RtspServer(DeviceModel& model, const ClipLibrary& clips, FaultSet& faults, RequestLog& log,
                       const StopSignal& stop, RtspSettings settings)
    : model_(model), clips_(clips), faults_(faults), log_(log), stop_(stop), settings_(std::move(settings)),
      auth_(settings_.user, settings_.password, settings_.authMode)
{
}

RtspServer::~RtspServer()
{
    Stop();
}

bool RtspServer::Start(const std::string& address, std::uint16_t port, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        if (listenFd_ >= 0)
            ::close(listenFd_);
        listenFd_ = -1;
        return false;
    };
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1)
        return fail("bad bind address " + address);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail("cannot bind RTSP port " + std::to_string(port) + " on " + address);
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    // A refused service keeps its port bound but does not listen: connects get a reset.
    if (!faults_.RefusesAllRtsp()) {
        if (::listen(listenFd_, 16) != 0)
            return fail("cannot listen on RTSP port");
        listening_ = true;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stopping_ = false;
    listener_ = std::thread([this] { ListenLoop(); });
    return true;
}

void RtspServer::Stop()
{
    if (!listener_.joinable())
        return;
    stopping_ = true;
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) { /* the poll time-out still ends the loops */
    }
    listener_.join();
    std::list<Connection> connections;
    std::map<std::string, std::shared_ptr<Session>> sessions;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
        sessions.swap(sessions_);
    }
    for (auto& c : connections)
        c.thread.join();
    sessions.clear();
    std::lock_guard lock(listenMutex_);
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

RtspStats RtspServer::Stats() const
{
    RtspStats s;
    {
        std::lock_guard lock(mutex_);
        s.activeSessions = static_cast<unsigned>(sessions_.size());
        for (const auto& [id, session] : sessions_)
            if (session->streamer && session->streamer->Started())
                ++s.playingSessions;
        s.sessionsCreated = sessionsCreated_;
        s.connectionsRefused = refused_;
    }
    s.rtpPackets = counters_.rtpPackets;
    s.rtpDropped = counters_.rtpDropped;
    s.senderReports = counters_.senderReports;
    s.receiverReports = counters_.receiverReports;
    s.byesSent = counters_.byesSent;
    {
        std::lock_guard lock(mutex_);
        s.interleavedSessions = interleavedSessions_;
    }
    return s;
}

void RtspServer::RefreshListening()
{
    std::lock_guard lock(listenMutex_);
    if (!listening_ && listenFd_ >= 0 && !faults_.RefusesAllRtsp() && ::listen(listenFd_, 16) == 0)
        listening_ = true;
}

void RtspServer::ListenLoop()
{
    while (!stopping_) {
        RefreshListening();
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        const int ready = ::poll(fds, listening_ ? 2 : 1, 500);
        ExpireSessions();
        {
            std::lock_guard lock(mutex_);
            for (auto it = connections_.begin(); it != connections_.end();) {
                if (it->done) {
                    it->thread.join();
                    it = connections_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        if (ready <= 0 || (fds[0].revents & POLLIN))
            continue;
        if (!(fds[1].revents & POLLIN))
            continue;
        sockaddr_in peer{}, local{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        len = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
        std::lock_guard lock(mutex_);
        if (faults_.Take(Fault::Kind::RefuseRtsp, "") || connections_.size() >= kMaxConnections) {
            const linger reset{1, 0};  // RST instead of an orderly close
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(fd);
            ++refused_;
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection& c = connections_.emplace_back();
        c.thread = std::thread([this, fd, peer, local, &c] { Serve(fd, peer, local, &c); });
    }
}

void RtspServer::Serve(int fd, sockaddr_in peer, sockaddr_in local, Connection* self)
{
    std::string buffer;
    bool open = true;
    const auto link = std::make_shared<Link>(fd);
    while (open && !stopping_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        if (::poll(fds, 2, 1000) <= 0 || (fds[0].revents & POLLIN))
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));

        while (open) {
            // Interleaved binary data ($, channel, 16-bit length): the client's RTCP.
            if (!buffer.empty() && buffer[0] == '$') {
                if (buffer.size() < 4)
                    break;
                const std::size_t len =
                    (static_cast<unsigned char>(buffer[2]) << 8) | static_cast<unsigned char>(buffer[3]);
                if (buffer.size() < 4 + len)
                    break;
                OnClientFrame(link.get(), static_cast<std::uint8_t>(buffer[1]),
                              reinterpret_cast<const std::uint8_t*>(buffer.data()) + 4, len);
                buffer.erase(0, 4 + len);
                continue;
            }
            RtspRequest request;
            std::size_t consumed = 0;
            const ParseStatus status = ParseRtspRequest(buffer, request, consumed);
            if (status == ParseStatus::Incomplete)
                break;
            if (status == ParseStatus::Malformed) {
                const std::string bad = "RTSP/1.0 400 Bad Request\r\n\r\n";
                link->Send(bad.data(), bad.size());
                open = false;
                break;
            }
            buffer.erase(0, consumed);
            log_.Add("rtsp " + request.method + " " + request.url);
            if (unsigned ms = faults_.SlowMs("rtsp"))
                stop_.SleepFor(std::chrono::milliseconds(ms));

            std::string cseq = request.Header("CSeq");
            Reply reply;
            if (cseq.empty() || cseq.size() > 10 || cseq.find_first_not_of("0123456789") != std::string::npos) {
                reply.status = 400;
                cseq.clear();
            } else {
                reply = Respond(request, peer, local, link);
            }
            const std::string text = Format(reply, cseq);
            if (faults_.Take(Fault::Kind::CloseMidway, "rtsp")) {
                link->Send(text.data(), text.size() / 2);
                open = false;
                break;
            }
            if (unsigned ms = faults_.TrickleMs("rtsp")) {
                for (std::size_t i = 0; open && i < text.size(); ++i)
                    open = (i == 0 || stop_.SleepFor(std::chrono::milliseconds(ms))) && link->Send(&text[i], 1);
            } else if (!link->Send(text.data(), text.size())) {
                open = false;
            }
        }
    }
    // Sessions streaming into this connection end with it.
    link->Shut();
    EndSessionsOf(link.get());
    ::close(fd);
    self->done = true;
}

std::string RtspServer::Format(const Reply& reply, const std::string& cseq)
{
    std::string text = "RTSP/1.0 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
    if (!cseq.empty())
        text += "CSeq: " + cseq + "\r\n";
    text += "Server: Harnoquistel Simulated Camera\r\n";
    for (const auto& [name, value] : reply.headers)
        text += name + ": " + value + "\r\n";
    if (!reply.body.empty())
        text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    return text + "\r\n" + reply.body;
}

void RtspServer::OnClientFrame(const Link* link, std::uint8_t channel, const std::uint8_t* data, std::size_t size)
{
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, s] : sessions_) {
            if (s->link.get() == link && s->rtcpChannel == channel)
                session = s;
        }
    }
    if (session && session->streamer)
        session->streamer->OnClientRtcp(data, size);
}

void RtspServer::EndSessionsOf(const Link* link)
{
    std::vector<std::shared_ptr<Session>> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second->link.get() == link) {
                ended.push_back(it->second);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Destroyed here, outside the lock: their streamers stop.
}

RtspServer::Reply RtspServer::Respond(const RtspRequest& request, const sockaddr_in& peer, const sockaddr_in& local,
                                      const std::shared_ptr<Link>& link)
{
    Reply reply;
    if (request.version != "RTSP/1.0") {
        reply.status = 505;
        return reply;
    }
    if (auto session = FindSession(request))
        session->lastSeen = NowSeconds();
    if (request.method == "OPTIONS") {
        reply.headers.push_back({"Public", "OPTIONS, DESCRIBE, SETUP, PLAY, GET_PARAMETER, TEARDOWN"});
        return reply;
    }
    if (!auth_.Check(request.method, request.Header("Authorization"))) {
        reply.status = 401;
        for (const auto& challenge : auth_.Challenges())
            reply.headers.push_back({"WWW-Authenticate", challenge});
        return reply;
    }
    if (request.method == "DESCRIBE")
        return Describe(request, local);
    if (request.method == "SETUP")
        return SetUp(request, peer, local, link);
    if (request.method == "PLAY")
        return Play(request);
    if (request.method == "TEARDOWN")
        return TearDown(request);
    if (request.method == "GET_PARAMETER") {
        auto session = FindSession(request);
        if (!session && !request.Header("Session").empty())
            reply.status = 454;
        if (session)
            reply.headers.push_back({"Session", session->id});
        return reply;
    }
    reply.status = 501;
    return reply;
}

bool RtspServer::ResolveStream(const std::string& path, std::string& profile, std::shared_ptr<const Clip>& clip,
                               double& frameRate)
{
    const std::string prefix = "/media/";
    if (path.compare(0, prefix.size(), prefix) != 0)
        return false;
    profile = path.substr(prefix.size());
    if (auto slash = profile.find('/'); slash != std::string::npos) {
        const std::string rest = profile.substr(slash + 1);
        if (!rest.empty() && rest != "trackID=1")
            return false;
        profile.resize(slash);
    }
    OnvifError error;
    auto encoder = model_.StreamEncoder(profile, error);
    if (!encoder)
        return false;
    clip = clips_.Find(encoder->width, encoder->height);
    frameRate = encoder->StreamFrameRate();
    return clip != nullptr;
}

RtspServer::Reply RtspServer::Describe(const RtspRequest& request, const sockaddr_in& local)
{
    Reply reply;
    std::string profile;
    std::shared_ptr<const Clip> clip;
    double frameRate = 25;
    if (!ResolveStream(UrlPath(request.url), profile, clip, frameRate)) {
        reply.status = 404;
        return reply;
    }
    const std::string host = Address(local);
    const std::string base = "rtsp://" + host + ":" + std::to_string(port_) + "/media/" + profile + "/";
    char profileLevel[8];
    std::snprintf(profileLevel, sizeof profileLevel, "%02x%02x%02x", clip->sps.size() > 1 ? clip->sps[1] : 0,
                  clip->sps.size() > 2 ? clip->sps[2] : 0, clip->sps.size() > 3 ? clip->sps[3] : 0);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", frameRate);
    reply.body = "v=0\r\n"
                 "o=- " +
                 std::to_string(NowSeconds()) + " 1 IN IP4 " + host +
                 "\r\n"
                 "s=Harnoquistel Simulated Camera\r\n"
                 "c=IN IP4 0.0.0.0\r\n"
                 "t=0 0\r\n"
                 "a=control:*\r\n"
                 "a=range:npt=0-\r\n"
                 "m=video 0 RTP/AVP 96\r\n"
                 "a=rtpmap:96 H264/90000\r\n"
                 "a=fmtp:96 packetization-mode=1;profile-level-id=" +
                 profileLevel + ";sprop-parameter-sets=" + velkora::Base64Encode(clip->sps.data(), clip->sps.size()) +
                 "," + velkora::Base64Encode(clip->pps.data(), clip->pps.size()) +
                 "\r\n"
                 "a=framerate:" +
                 rate +
                 "\r\n"
                 "a=x-dimensions:" +
                 std::to_string(clip->width) + "," + std::to_string(clip->height) +
                 "\r\n"
                 "a=control:trackID=1\r\n";
    reply.headers.push_back({"Content-Base", base});
    reply.headers.push_back({"Content-Type", "application/sdp"});
    return reply;
}

RtspServer::Reply RtspServer::SetUp(const RtspRequest& request, const sockaddr_in& peer, const sockaddr_in& local,
                                    const std::shared_ptr<Link>& link)
{
    Reply reply;
    if (!request.Header("Session").empty()) {
        reply.status = FindSession(request) ? 455 : 454;  // one track per session
        return reply;
    }
    auto session = std::make_shared<Session>();
    session->path = UrlPath(request.url);
    session->setupUrl = request.url;
    if (!ResolveStream(session->path, session->profile, session->clip, session->frameRate)) {
        reply.status = 404;
        return reply;
    }
    unsigned rtpPort = 0, rtcpPort = 0;
    std::istringstream alternatives(request.Header("Transport"));
    bool usable = false, interleaved = false;
    for (std::string alternative; !usable && std::getline(alternatives, alternative, ',');) {
        interleaved = ParseInterleaved(alternative, rtpPort, rtcpPort);
        usable = interleaved ||
                 (ParseTransport(alternative, rtpPort, rtcpPort) && !faults_.Take(Fault::Kind::UdpRefused, ""));
    }
    if (!usable) {
        reply.status = 461;
        return reply;
    }
    {
        std::lock_guard lock(mutex_);
        if (sessions_.size() >= kMaxSessions) {
            reply.status = 453;
            return reply;
        }
    }
    if (!interleaved && !OpenPortPair(local.sin_addr, session->rtpSocket, session->rtcpSocket, session->serverPort)) {
        reply.status = 500;
        return reply;
    }
    // Media go only to the host that asked for them, never to a "destination" it names.
    session->rtpPeer = peer;
    session->rtpPeer.sin_port = htons(static_cast<std::uint16_t>(rtpPort));
    session->rtcpPeer = peer;
    session->rtcpPeer.sin_port = htons(static_cast<std::uint16_t>(rtcpPort));
    session->id = RandomHex(16);
    session->lastSeen = NowSeconds();
    RtpStreamer::Setup setup;
    setup.clip = session->clip;
    setup.frameRate = session->frameRate;
    setup.pace = settings_.pace;
    setup.rtpSocket = session->rtpSocket;
    setup.rtcpSocket = session->rtcpSocket;
    setup.rtpPeer = session->rtpPeer;
    setup.rtcpPeer = session->rtcpPeer;
    if (const std::optional<Fault> resize = faults_.First(Fault::Kind::Resize)) {
        unsigned width = 0, height = 0;
        if (std::sscanf(resize->target.c_str(), "%ux%u", &width, &height) == 2) {
            setup.nextClip = clips_.Find(width, height);
            setup.switchAfter = resize->value;
        }
    }
    if (interleaved) {
        session->link = link;
        session->rtcpChannel = static_cast<std::uint8_t>(rtcpPort);
        setup.rtpChannel = static_cast<std::uint8_t>(rtpPort);
        setup.rtcpChannel = static_cast<std::uint8_t>(rtcpPort);
        setup.interleave = [link](std::uint8_t channel, const Bytes& packet) {
            return link->SendFrame(channel, packet);
        };
        setup.interleaveFrames = [link](const Bytes& framed) {
            return link->Send(reinterpret_cast<const char*>(framed.data()), framed.size());
        };
    } else {
        setup.udpSilent = faults_.Take(Fault::Kind::UdpUnreachable, "");
    }
    std::weak_ptr<Session> weak = session;
    session->streamer = std::make_unique<RtpStreamer>(setup, faults_, counters_, [weak] {
        if (auto s = weak.lock())
            s->lastSeen = NowSeconds();
    });

    char ssrc[9];
    std::snprintf(ssrc, sizeof ssrc, "%08X", session->streamer->Ssrc());
    if (interleaved) {
        reply.headers.push_back({"Transport", "RTP/AVP/TCP;unicast;interleaved=" + std::to_string(rtpPort) + "-" +
                                                  std::to_string(rtcpPort) + ";ssrc=" + ssrc});
    } else {
        // A camera behind NAT, or one that sends from an ephemeral socket: the pair it names
        // is not the one its datagrams come from.
        unsigned announced = session->serverPort;
        if (faults_.Take(Fault::Kind::UnannouncedPort, ""))
            announced = announced >= 50000 ? announced - 1000 : announced + 1000;
        const std::string serverPort =
            faults_.Take(Fault::Kind::NoServerPort, "")
                ? ""
                : ";server_port=" + std::to_string(announced) + "-" + std::to_string(announced + 1);
        reply.headers.push_back({"Transport", "RTP/AVP;unicast;client_port=" + std::to_string(rtpPort) + "-" +
                                                  std::to_string(rtcpPort) + serverPort + ";ssrc=" + ssrc});
    }
    reply.headers.push_back({"Session", session->id + ";timeout=" + std::to_string(settings_.sessionTimeoutSeconds)});
    std::lock_guard lock(mutex_);
    sessions_[session->id] = session;
    ++sessionsCreated_;
    if (interleaved)
        ++interleavedSessions_;
    return reply;
}

RtspServer::Reply RtspServer::Play(const RtspRequest& request)
{
    Reply reply;
    auto session = FindSession(request);
    if (!session) {
        reply.status = 454;
        return reply;
    }
    session->streamer->Start();
    reply.headers.push_back({"Session", session->id});
    reply.headers.push_back({"Range", "npt=0.000-"});
    reply.headers.push_back({"RTP-Info", "url=" + session->setupUrl +
                                             ";seq=" + std::to_string(session->streamer->FirstSequence()) +
                                             ";rtptime=" + std::to_string(session->streamer->FirstTimestamp())});
    return reply;
}

RtspServer::Reply RtspServer::TearDown(const RtspRequest& request)
{
    Reply reply;
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        const std::string id = request.Header("Session").substr(0, request.Header("Session").find(';'));
        if (auto it = sessions_.find(id); it != sessions_.end()) {
            session = it->second;
            sessions_.erase(it);
        }
    }
    if (!session) {
        reply.status = 454;
        return reply;
    }
    session->streamer->Stop(session->streamer->Started());
    return reply;
}

std::shared_ptr<RtspServer::Session> RtspServer::FindSession(const RtspRequest& request)
{
    std::string id = request.Header("Session");
    id = id.substr(0, id.find(';'));
    if (id.empty())
        return nullptr;
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : it->second;
}

void RtspServer::ExpireSessions()
{
    std::vector<std::shared_ptr<Session>> expired;
    {
        std::lock_guard lock(mutex_);
        const auto now = NowSeconds();
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (now - it->second->lastSeen > static_cast<std::int64_t>(settings_.sessionTimeoutSeconds)) {
                expired.push_back(it->second);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Destroyed here, outside the lock: their streamers stop and their sockets close.
}

}  // namespace sim
