#pragma once

#include "http/CBaseHttpSender.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace Web {

// The sender on libcurl: one easy handle driven by a multi handle, kept for the
// sender's life so connections are reused; the multi handle lets Cancel wake a
// blocked exchange from another thread.
class CHttpSender : public CBaseHttpSender
{
public:
    explicit CHttpSender(const velkora::DEVICE_INFO& device);
    ~CHttpSender() override;

    bool Send(const HttpRequest& request) override;
    void Cancel() override;
    uint32_t QueryDataAvailable() override;
    uint32_t ReadResponse(std::vector<uint8_t>& body) override;
    uint32_t ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst) override;

    bool IsSecure() const { return secure != 0; }
    uint32_t GetServerAuthScheme() const { return serverAuthScheme; }

    // Transfer callbacks (public for the C trampolines only).
    size_t OnHeader(const char* data, size_t size);
    size_t OnBody(const char* data, size_t size);
    void OnProgress();

private:
    enum class Wait
    {
        Headers,  // until the answer's headers (and first body bytes or the end) arrived
        Sent,     // until the request is out
        Body,     // until body bytes are buffered or the transfer ended
    };

    int Perform(HttpRequest& request);
    bool OpenRequest(const HttpRequest& request);
    bool Drive(Wait until);
    void CloseRequest();
    void AbortTransfer(uint32_t error);
    uint32_t ChooseAuthScheme(const HttpRequest& request) const;
    uint32_t TakeBuffered(std::vector<uint8_t>& out, uint32_t maxBytes);
    void FinishTransfer(int curlCode);
    void EnterBusy();
    void LeaveBusy();

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;

    // Request state, touched only by the thread running an exchange (or by
    // Cancel under busyLock while none runs).
    bool attached = false;       // the easy handle is in the multi handle: a current request
    bool transferDone = false;
    bool headersDone = false;
    bool requestSent = false;
    uint32_t transferError = 0;  // error the transfer ended with, 0 when it completed
    std::vector<uint8_t> buffered;
    std::size_t bufferedStart = 0;
    bool paused = false;
    bool followRedirects = false;
    std::string firstChallenge;  // first scheme word of WWW-Authenticate of the current answer
    long challengeStatus = 0;
    std::chrono::steady_clock::time_point lastActivity;
    long long lastUp = -1;
    long long lastDown = -1;

    uint32_t serverAuthScheme = 0;
    uint32_t secure = 0;
    std::atomic<bool> cancelled{false};

    std::mutex busyLock;
    int busyDepth = 0; // > 0 while the owner runs an operation
    friend class BusyScope;
};

} // namespace Web
