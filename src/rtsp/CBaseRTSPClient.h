#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/IRTSPClientUser.h"
#include "rtsp/RTSPSessionSettings.h"

namespace velkora {

// One RTSP/1.0 session over TCP on its own thread, "RTSP Client Thread (<device>)":
// DESCRIBE, SETUP of one UDP media stream, PLAY, OPTIONS as keep-alive and TEARDOWN
// when closed. A 401 is answered once per newly challenged scheme.
class CBaseRTSPClient : public CBaseThread {
public:
    explicit CBaseRTSPClient(IDebugMessage* owner);
    ~CBaseRTSPClient() override;

    // Connects and starts the session thread; on failure everything is closed again.
    // Fails without effect while a session is open (Close it first).
    bool Open(const RTSPSessionSettings& settings, IRTSPClientUser* user);
    // Stops the thread (TEARDOWN is still sent, briefly awaited) and closes the socket.
    void Close();

    // Result of the last request exchange; a failed keep-alive reads false.
    bool GetLastResult() const { return lastResult_.load(); }
    // The SSRC the SETUP answer named (0: none); for the user's OnSetup, on the client's thread.
    std::uint32_t GetServerSsrc() const { return parser_.ServerSsrc(); }

    // Largest header block read, and largest response kept; longer answers fail.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;
    static constexpr std::size_t kMaxResponseSize = 256 * 1024;

protected:
    uint32_t Run() override;
    // The request text for a method (RtspMethod); empty when a value that would go
    // into it carries a line break, so that nothing is sent.
    virtual std::string BuildRequest(int method);

    std::string BaseUrl() const;
    std::string MediaUrl() const;

private:
    bool Connect();
    // One line of the opt-in trace (foundation/Trace.h).
    void Trace(const char* step, const std::string& text);
    void CloseSocket();
    bool Exchange(int method);
    bool SendRequest(int method);
    bool ReceiveResponse(int method, std::string& response);
    void KeepAliveCheck();
    bool CallOnDescribe();
    bool CallOnSetup();
    void CallOnSessionClosed();

    CRTSPResponseParser parser_;
    int socket_ = -1;
    std::uint64_t lastKeepAliveMs_ = 0;  // steady clock; 0 = none sent yet
    IRTSPClientUser* user_ = nullptr;
    std::atomic<bool> lastResult_{false};
    RTSPSessionSettings settings_;
    std::atomic<std::uint32_t> receiveTimeoutMs_{5000};  // Close shortens it
    CAutoEvent playRequest_;
};

}  // namespace velkora
