#pragma once

#include "foundation/DEVICE_INFO.h"
#include "http/HttpAuthScheme.h"
#include "http/HttpError.h"
#include "http/HttpRequest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Web {

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
    // Aborts the exchange running in another thread within about 100 ms; the
    // aborted operation fails with HttpErrorCancelled, and so do reads of its
    // answer until the next Send.
    virtual void Cancel() = 0;
    virtual uint32_t QueryDataAvailable() = 0;
    // The answer body, at most its Content-Length (2 MiB when it has none).
    virtual uint32_t ReadResponse(std::vector<uint8_t>& body) = 0;
    virtual uint32_t ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst) = 0;
    // The owner is done with the answer: drops what is left of it (and the
    // connection, when the answer was not read to its end).
    virtual void Release() = 0;

    uint32_t GetStatusCode() const { return statusCode; }
    uint32_t GetContentLength() const { return contentLength; }
    uint32_t GetLastError() const { return lastError; }

protected:
    velkora::DEVICE_INFO device;
    uint32_t statusCode = 0;
    uint32_t contentLength = 0;
    uint32_t lastError = 0;
};

}  // namespace Web
