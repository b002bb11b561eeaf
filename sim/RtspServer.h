#pragma once

#include "sim/Clip.h"
#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/RequestLog.h"
#include "sim/RtpStreamer.h"
#include "sim/RtspAuth.h"
#include "sim/RtspRequest.h"
#include "sim/StopSignal.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

struct RtspSettings {
    std::string user, password;
    RtspAuthMode authMode = RtspAuthMode::Any;
    double pace = 1;  // frames sent this many times faster than their rate
    unsigned sessionTimeoutSeconds = 60;
};

struct RtspStats {
    unsigned activeSessions = 0, playingSessions = 0;
    std::uint64_t sessionsCreated = 0, connectionsRefused = 0;
    std::uint64_t rtpPackets = 0, rtpDropped = 0, senderReports = 0, receiverReports = 0, byesSent = 0;
    std::uint64_t interleavedSessions = 0;  // sessions set up with RTP inside the RTSP connection
};

// RTSP/1.0 over TCP: OPTIONS, DESCRIBE, SETUP (RTP over UDP unicast, or interleaved
// in the RTSP connection), PLAY,
// GET_PARAMETER, TEARDOWN; streams at rtsp://host:port/media/<profile token>.
class RtspServer
{
public:
    RtspServer(DeviceModel& model, const ClipLibrary& clips, FaultSet& faults, RequestLog& log, const StopSignal& stop,
               RtspSettings settings);
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    bool Start(const std::string& address, std::uint16_t port, std::string* error);
    void Stop();
    std::uint16_t Port() const { return port_; }
    RtspStats Stats() const;
    // Starts listening once no fault refuses every connection any more.
    void RefreshListening();

private:
    // One RTSP connection; the sessions interleaved into it write their frames through it.
    struct Link {
        explicit Link(int fd) : fd(fd) {}
        bool Send(const char* data, std::size_t size);
        bool SendFrame(std::uint8_t channel, const Bytes& packet);
        void Shut();
        const int fd;
        std::mutex mutex;  // answers and frames are written whole
        bool open = true;  // guarded by mutex
    };
    struct Session {
        std::string id, path, profile, setupUrl;
        std::shared_ptr<const Clip> clip;
        double frameRate = 25;
        int rtpSocket = -1, rtcpSocket = -1;
        std::uint16_t serverPort = 0;
        sockaddr_in rtpPeer{}, rtcpPeer{};
        std::shared_ptr<Link> link;  // set for RTP inside the RTSP connection
        std::uint8_t rtcpChannel = 1;
        std::unique_ptr<RtpStreamer> streamer;
        std::atomic<std::int64_t> lastSeen{0};  // steady-clock seconds
        ~Session();
    };
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    struct Reply {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    void ListenLoop();
    void Serve(int fd, sockaddr_in peer, sockaddr_in local, Connection* self);
    Reply Respond(const RtspRequest& request, const sockaddr_in& peer, const sockaddr_in& local,
                  const std::shared_ptr<Link>& link);
    Reply Describe(const RtspRequest& request, const sockaddr_in& local);
    Reply SetUp(const RtspRequest& request, const sockaddr_in& peer, const sockaddr_in& local,
                const std::shared_ptr<Link>& link);
    void OnClientFrame(const Link* link, std::uint8_t channel, const std::uint8_t* data, std::size_t size);
    void EndSessionsOf(const Link* link);
    Reply Play(const RtspRequest& request);
    Reply TearDown(const RtspRequest& request);
    std::shared_ptr<Session> FindSession(const RtspRequest& request);
    bool ResolveStream(const std::string& path, std::string& profile, std::shared_ptr<const Clip>& clip,
                       double& frameRate);
    void ExpireSessions();
    static std::string Format(const Reply& reply, const std::string& cseq);

    DeviceModel& model_;
    const ClipLibrary& clips_;
    FaultSet& faults_;
    RequestLog& log_;
    const StopSignal& stop_;
    RtspSettings settings_;
    RtspAuthenticator auth_;
    StreamCounters counters_;

    int listenFd_ = -1, wakeFd_ = -1;
    std::mutex listenMutex_;
    std::atomic<bool> listening_{false};
    std::uint16_t port_ = 0;
    std::thread listener_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;
    std::list<Connection> connections_;
    std::uint64_t sessionsCreated_ = 0, refused_ = 0, interleavedSessions_ = 0;
};

}  // namespace sim
