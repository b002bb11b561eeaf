#pragma once
// Peers of the RTSP client: a scripted loopback RTSP server recording every request, and the client's user.

#include <utility>

#include "support/LoopbackHttpServer.h"
#include "foundation/CEvent.h"
#include "rtsp/CBaseRTSPClient.h"

class ScriptedRtspServer : public LoopbackHttpServer
{
public:
    // The answer to one whole request text; empty sends nothing.
    using Script = std::function<std::string(const std::string& request)>;

    explicit ScriptedRtspServer(Script script)
        : LoopbackHttpServer(
              [script = std::move(script)](const RecordedRequest& r) { return script(r.head + "\r\n\r\n"); })
    {
    }

    std::vector<std::string> Requests()
    {
        std::vector<std::string> texts;
        for (const RecordedRequest& r : LoopbackHttpServer::Requests())
            texts.push_back(r.head + "\r\n\r\n");
        return texts;
    }
    bool WaitForRequest(const std::string& method)
    {
        return WaitUntil([&](const auto& r) { return !r.empty() && r.back().head.starts_with(method + " "); });
    }

    static std::string Answer(const std::string& request, const std::string& status = "200 OK",
                              const std::string& headers = "", const std::string& body = "")
    {
        const auto at = request.find("CSeq: ") + 6;
        std::string response =
            "RTSP/1.0 " + status + "\r\nCSeq: " + request.substr(at, request.find('\r', at) - at) + "\r\n" + headers;
        if (!body.empty())
            response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return response + "\r\n" + body;
    }
};

class TestUser : public velkora::IRTSPClientUser
{
public:
    void OnRTCPBye() override {}
    void OnRTPPacket(const velkora::CRTPPacket&) override {}
    bool OnDescribe(const velkora::MediaDescription& media) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        media_ = media;
        return true;
    }
    void OnSetup(uint16_t rtpPort, uint16_t rtcpPort) override { serverPorts_ = rtpPort << 16 | rtcpPort; }
    void OnSessionClosed() override { closed_.Set(); }
    // Records what the connection carries, in order, as "rtp <payload>" or "rtcp <payload>".
    // With `refuse`, says at each read's end that it had no room for that read's packets.
    struct Sink : velkora::IInterleavedPacketSink {
        Sink(TestUser& user, const char* kind) : user(user), kind(kind) {}
        bool OnInterleavedPacket(const uint8_t* data, size_t size) override
        {
            std::lock_guard<std::mutex> lock(user.mutex_);
            user.interleaved_.push_back(kind + std::string(reinterpret_cast<const char*>(data), size));
            ++sinceRead;
            return true;
        }
        size_t OnInterleavedBatchEnd() override { return refuse ? std::exchange(sinceRead, 0) : 0; }
        TestUser& user;
        const char* kind;
        bool refuse = false;
        size_t sinceRead = 0;  // the session thread's
    };
    Sink rtp{*this, "rtp "}, rtcp{*this, "rtcp "};
    std::vector<std::string> Interleaved()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return interleaved_;
    }
    uint32_t ServerPorts() const { return serverPorts_; }
    bool WaitClosed() { return closed_.Wait(10000); }
    velkora::MediaDescription Media()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return media_;
    }

private:
    std::mutex mutex_;
    velkora::CManualEvent closed_;
    std::atomic<uint32_t> serverPorts_{0};
    velkora::MediaDescription media_;
    std::vector<std::string> interleaved_;
};
