#pragma once

#include "foundation/DEVICE_INFO.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Web {

enum HttpAuthSelector : uint32_t
{
    HttpAuthBasic = 0,
    HttpAuthNtlm = 1,
    HttpAuthPassport = 2,
    HttpAuthDigest = 3,
    HttpAuthNegotiate = 4,
    HttpAuthNone = 5, // no HTTP credentials at all
};

// Platform error numbers of a failed exchange (CBaseHttpSender::GetLastError).
enum HttpError : uint32_t
{
    HttpErrorTimeout = 12002,
    HttpErrorInternal = 12004,
    HttpErrorNameNotResolved = 12007,
    HttpErrorCancelled = 12017,
    HttpErrorCannotConnect = 12029,
    HttpErrorConnectionError = 12030,
    HttpErrorInvalidServerResponse = 12152,
    HttpErrorSecureFailure = 12175,
};

// Scheme bits, as offered in a 401 challenge and remembered by the sender.
enum HttpAuthScheme : uint32_t
{
    HttpSchemeBasic = 1,
    HttpSchemeNtlm = 2,
    HttpSchemePassport = 4,
    HttpSchemeDigest = 8,
    HttpSchemeNegotiate = 16,
};

struct HttpRequest
{
    enum Flags : uint32_t
    {
        FlagNoQueryEscape = 1,      // bit 0
        FlagIgnoreCertErrors = 2,   // bit 1, HTTPS only
        FlagNoRedirects = 4,        // bit 2
        FlagSendOnly = 8,           // bit 3: return once sent; the caller reads the answer
        StandardFlags = 7,
    };

    HttpRequest() = default;
    HttpRequest(std::string verbText, std::string pathText) : verb(std::move(verbText)), path(std::move(pathText)) {}

    std::string verb;                    // "POST", "GET"
    std::string path;                    // with query, e.g. "/onvif/device_service"
    uint32_t secure = 0;                 // overwritten by the sender's own state on every Send
    uint32_t authSelector = HttpAuthBasic;
    std::vector<uint8_t> body;
    uint32_t totalLength = 0;            // announced length: the larger of this and the body size
    std::vector<std::string> headers;    // complete "Name:value" lines
    uint32_t flags = StandardFlags;
};

// Synchronous HTTP(S) against one device. Used by one thread at a time; Cancel
// may come from any thread.
class CBaseHttpSender
{
public:
    explicit CBaseHttpSender(const velkora::DEVICE_INFO& device) : device(device) {}
    virtual ~CBaseHttpSender() = default;
    CBaseHttpSender(const CBaseHttpSender&) = delete;
    CBaseHttpSender& operator=(const CBaseHttpSender&) = delete;

    // True when an answer arrived, whatever its status; false on a transport
    // failure (GetLastError tells which) or after Cancel.
    virtual bool Send(const HttpRequest& request) = 0;
    // Aborts a blocking exchange of another thread within about 100 ms; called by
    // the owner after reading an answer, it releases the request.
    virtual void Cancel() = 0;
    virtual uint32_t QueryDataAvailable() = 0;
    // The answer body, at most its Content-Length (2 MiB when it has none).
    virtual uint32_t ReadResponse(std::vector<uint8_t>& body) = 0;
    virtual uint32_t ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst) = 0;

    uint32_t GetStatusCode() const { return statusCode; }
    uint32_t GetContentLength() const { return contentLength; }
    uint32_t GetLastError() const { return lastError; }

protected:
    velkora::DEVICE_INFO device;
    uint32_t statusCode = 0;
    uint32_t contentLength = 0;
    uint32_t lastError = 0;
};

} // namespace Web
