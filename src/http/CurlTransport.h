#pragma once

#include "http/AnswerBuffer.h"
#include "http/HttpRequest.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace Web {

// Where a request goes and with which credentials; the policy above decides both.
struct TransportTarget {
    std::string host;
    uint16_t port = 0;
    bool secure = false;
    uint32_t authScheme = 0;  // HttpAuthScheme; 0: no credentials
    std::string user;
    std::string password;
    std::string caFile;  // non-empty: HTTPS certificates are always verified against it
};

// One HTTP exchange at a time on libcurl: one easy handle driven by a multi
// handle, both kept for the transport's life so connections are reused; the
// multi handle lets Abort wake a blocked exchange from another thread. Knows
// nothing of retries or remembered schemes.
class CurlTransport
{
public:
    enum class Wait
    {
        Headers,  // until the answer's headers (and first body bytes or the end) arrived
        Sent,     // until the request is out
        Body,     // until body bytes are buffered or the transfer ended
    };

    explicit CurlTransport(uint32_t timeoutMs);
    ~CurlTransport();
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    bool IsUsable() const { return easy != nullptr; }
    // Whether this libcurl can answer a challenge of `scheme` (HttpAuthScheme).
    static bool CanAuthenticate(uint32_t scheme);
    // Prepares and starts a request; false (nothing sent) for a request that
    // would be unsafe on the wire or that libcurl refuses.
    bool Start(const HttpRequest& request, const TransportTarget& target);
    // Runs the transfer until `until` is reached (true) or it failed, passed the
    // exchange's deadline (the time-out from Start) or was aborted (false;
    // TransferError tells which).
    bool Drive(Wait until);
    // Ends the current request, if any, and forgets its answer.
    void Close();

    // Any thread: the running or next Drive ends with HttpErrorCancelled, until ClearAbort.
    void Abort();
    void ClearAbort() { aborted = false; }
    bool IsAborted() const { return aborted; }

    bool HasAnswerLeft() const { return attached || answer.Size() > 0; }
    std::size_t BufferedSize() const { return answer.Size(); }
    uint32_t TakeBuffered(std::vector<uint8_t>& out, uint32_t maxBytes);

    bool RequestSent() const { return requestSent; }
    uint32_t TransferError() const { return transferError; }
    uint32_t StatusCode() const;
    // Content-Length of the answer; -1 when it has none.
    long long ContentLength() const;
    // Every scheme the answer's WWW-Authenticate headers offer (HttpAuthScheme bits).
    uint32_t OfferedSchemes() const { return offeredSchemes; }

    // Transfer callbacks (public for the C trampolines only).
    size_t OnHeader(const char* data, size_t size);
    size_t OnBody(const char* data, size_t size);

private:
    bool Configure(const HttpRequest& request, const TransportTarget& target);
    void Detach();
    void AbortTransfer(uint32_t error);
    void FinishTransfer(int curlCode);

    const uint32_t timeoutMs;
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::atomic<bool> aborted{false};

    // State of the current request, touched only by the thread running it.
    bool attached = false;  // the easy handle is in the multi handle: a current request
    bool transferDone = false;
    bool headersDone = false;
    bool requestSent = false;
    uint32_t transferError = 0;  // error the transfer ended with, 0 when it completed
    AnswerBuffer answer;
    bool followRedirects = false;
    uint32_t offeredSchemes = 0;
    long challengeStatus = 0;
    uint64_t deadlineMs = 0;  // of the whole exchange, from Start (MonotonicMs)
};

}  // namespace Web
