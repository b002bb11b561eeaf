#include "http/CHttpSender.h"

#include <algorithm>

namespace Web {

namespace {

constexpr uint32_t kReadBlock = 8192;
constexpr uint32_t kUnknownLengthLimit = 0x200000;  // 2 MiB when the answer has no Content-Length
// Devices are untrusted: an announced Content-Length does not get to size our memory.
constexpr uint32_t kMaxBody = 16 * 1024 * 1024;

}  // namespace

CHttpSender::CHttpSender(const velkora::DEVICE_INFO& device)
    : CBaseHttpSender(device), transport(device.requestTimeout), secure(device.port == 443 ? 1 : 0)
{
}

bool CHttpSender::Send(const HttpRequest& request)
{
    HttpRequest copy = request;
    copy.secure = secure;
    transport.ClearAbort();

    int result = Perform(copy);
    if (result == 0) {
        if (transport.IsAborted())
            return false;
        copy.secure = copy.secure != 0 ? 0 : 1;
        result = Perform(copy);
    }
    if (result == 1) {
        secure = copy.secure;
        return true;
    }
    return false;
}

void CHttpSender::Cancel()
{
    transport.Abort();
}

void CHttpSender::Release()
{
    transport.Close();
}

uint32_t CHttpSender::ChooseAuthScheme(const HttpRequest& request) const
{
    return serverAuthScheme != 0 ? serverAuthScheme : SchemeOfSelector(request.authSelector);
}

uint32_t CHttpSender::UsableSchemes(const HttpRequest& request) const
{
    // Requests without credentials of their own (SOAP) answer Digest alone: ONVIF
    // devices authenticate by Digest, and Basic would put the password on the wire.
    uint32_t usable = request.authSelector == HttpAuthNone
                          ? uint32_t{HttpSchemeDigest}
                          : uint32_t{HttpSchemeBasic | HttpSchemeNtlm | HttpSchemeDigest | HttpSchemeNegotiate};
    if (device.neverPlaintextPassword)
        usable &= ~uint32_t{HttpSchemeBasic};
    uint32_t performable = 0;
    for (uint32_t scheme : {HttpSchemeBasic, HttpSchemeNtlm, HttpSchemeDigest, HttpSchemeNegotiate})
        if (CurlTransport::CanAuthenticate(scheme))
            performable |= scheme;
    return usable & performable;
}

int CHttpSender::Perform(HttpRequest& request)
{
    statusCode = 0;
    contentLength = 0;
    lastError = 0;
    passwordWithheld = false;

    TransportTarget target;
    target.host = device.host;
    target.port = device.port;
    target.secure = request.secure != 0;
    target.caFile = device.caFile;
    // A request that offers no credentials still answers a scheme the device demanded.
    const bool offers = request.authSelector != HttpAuthNone ||
                        (serverAuthScheme != 0 && CurlTransport::CanAuthenticate(serverAuthScheme));
    uint32_t scheme = offers ? ChooseAuthScheme(request) : 0;
    // Without plain-text passwords nothing goes out as Basic, not even before a challenge.
    if (scheme == HttpSchemeBasic && device.neverPlaintextPassword)
        scheme = 0;
    if (!device.user.empty() && scheme != 0) {
        target.authScheme = scheme;
        target.user = device.user;
        target.password = device.password;
    }
    if (!transport.Start(request, target)) {
        lastError = transport.TransferError();
        return -1;
    }

    const bool sendOnly = (request.flags & HttpRequest::FlagSendOnly) != 0 || request.body.size() < request.totalLength;
    if (!transport.Drive(sendOnly ? CurlTransport::Wait::Sent : CurlTransport::Wait::Headers)) {
        lastError = transport.TransferError() != 0 ? transport.TransferError() : HttpErrorInternal;
        const bool receiving = transport.RequestSent();
        transport.Close();
        // A time-out while sending, or a garbled answer, is final; anything else
        // may work over the other protocol.
        if (!receiving)
            return lastError == HttpErrorTimeout ? -1 : 0;
        return lastError == HttpErrorInvalidServerResponse ? -1 : 0;
    }
    if (sendOnly)
        return 1;

    statusCode = transport.StatusCode();
    if (statusCode != 204) {
        const long long length = transport.ContentLength();
        contentLength = length > 0 ? static_cast<uint32_t>(std::min<long long>(length, UINT32_MAX)) : 0;
    }

    if (statusCode == 401 && serverAuthScheme == 0) {
        const uint32_t offered = transport.OfferedSchemes();
        const uint32_t answer = device.user.empty() ? 0 : ChooseAnswerScheme(offered, UsableSchemes(request));
        transport.Close();
        // Only a scheme we can perform is remembered: any other would fail every later request.
        serverAuthScheme = answer;
        if (answer == 0) {
            passwordWithheld =
                !device.user.empty() && target.authScheme != HttpSchemeBasic && (offered & HttpSchemeBasic) != 0;
            return 1;  // nothing to answer it with: the caller sees the 401
        }
        if (answer == target.authScheme)
            return 1;
        return Send(request) ? 1 : -1;
    }
    return 1;
}

uint32_t CHttpSender::ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst)
{
    if (clearFirst)
        buffer.clear();
    if (maxBytes == 0 || !transport.HasAnswerLeft())
        return 0;
    if (!transport.Drive(CurlTransport::Wait::Body)) {
        lastError = transport.TransferError() != 0 ? transport.TransferError() : HttpErrorInternal;
        return 0;
    }
    return transport.TakeBuffered(buffer, maxBytes);
}

uint32_t CHttpSender::ReadResponse(std::vector<uint8_t>& body)
{
    body.clear();
    uint32_t left = contentLength != 0 ? std::min(contentLength, kMaxBody) : kUnknownLengthLimit;
    while (left > 0) {
        const uint32_t read = ReadChunk(body, std::min(left, kReadBlock), false);
        if (read == 0)
            break;
        left -= read;
    }
    return static_cast<uint32_t>(body.size());
}

uint32_t CHttpSender::QueryDataAvailable()
{
    if (!transport.HasAnswerLeft())
        return 0;
    if (!transport.Drive(CurlTransport::Wait::Body))
        return 0;
    return static_cast<uint32_t>(transport.BufferedSize());
}

}  // namespace Web
