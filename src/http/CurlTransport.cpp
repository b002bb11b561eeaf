#include "http/CurlTransport.h"

#include "http/HttpAuthScheme.h"
#include "http/HttpError.h"

#include "foundation/MonotonicClock.h"
#include "foundation/ProtocolText.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <strings.h>

namespace Web {

namespace {

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t HeaderTrampoline(char* data, size_t size, size_t count, void* transport)
{
    return static_cast<CurlTransport*>(transport)->OnHeader(data, size * count);
}

size_t BodyTrampoline(char* data, size_t size, size_t count, void* transport)
{
    return static_cast<CurlTransport*>(transport)->OnBody(data, size * count);
}

uint32_t MapCurlError(CURLcode code)
{
    switch (code) {
    case CURLE_OK: return 0;
    case CURLE_OPERATION_TIMEDOUT: return HttpErrorTimeout;
    case CURLE_COULDNT_RESOLVE_HOST: return HttpErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT: return HttpErrorCannotConnect;
    case CURLE_ABORTED_BY_CALLBACK: return HttpErrorCancelled;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_TOO_MANY_REDIRECTS: return HttpErrorInvalidServerResponse;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return HttpErrorConnectionError;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return HttpErrorSecureFailure;
    default: return HttpErrorInternal;
    }
}

long SchemeToCurlAuth(uint32_t scheme)
{
    switch (scheme) {
    case HttpSchemeBasic: return static_cast<long>(CURLAUTH_BASIC);
    case HttpSchemeNtlm: return static_cast<long>(CURLAUTH_NTLM);
    case HttpSchemeDigest: return static_cast<long>(CURLAUTH_DIGEST);
    case HttpSchemeNegotiate: return static_cast<long>(CURLAUTH_NEGOTIATE);
    default: return 0;  // Passport has no counterpart here
    }
}

bool IsUsableHost(const std::string& host)
{
    if (host.empty())
        return false;
    for (unsigned char c : host)
        if (c <= 0x20 || c >= 0x7f || std::strchr("/?#@[]\\%", c) != nullptr)
            return false;
    return true;
}

// Device paths go into the request line: bytes that would end or split it are
// percent-encoded, and '#' so that it stays part of the path.
std::string EncodePath(const std::string& path)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string result;
    if (path.empty() || path[0] != '/')
        result += '/';
    for (unsigned char c : path) {
        if (c <= 0x20 || c >= 0x7f || c == '#') {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 15];
        } else
            result += static_cast<char>(c);
    }
    return result;
}

}  // namespace

CurlTransport::CurlTransport(uint32_t timeoutMs) : timeoutMs(timeoutMs)
{
    InitCurlOnce();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (multi == nullptr || easy == nullptr) {
        // Not reported here: the first Start fails.
        if (easy != nullptr)
            curl_easy_cleanup(easy);
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        easy = nullptr;
        multi = nullptr;
        return;
    }
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 16L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Velkora::HttpSender");
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, HeaderTrampoline);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, BodyTrampoline);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    // Abort must not wait for a name lookup that is still running.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
}

CurlTransport::~CurlTransport()
{
    Close();
    if (easy != nullptr)
        curl_easy_cleanup(easy);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
}

bool CurlTransport::CanAuthenticate(uint32_t scheme)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    const int features = info != nullptr ? info->features : 0;
    switch (scheme) {
    case HttpSchemeBasic:
    case HttpSchemeDigest: return true;
    case HttpSchemeNtlm: return (features & CURL_VERSION_NTLM) != 0;
    case HttpSchemeNegotiate: return (features & CURL_VERSION_SPNEGO) != 0;
    default: return false;
    }
}

void CurlTransport::Abort()
{
    aborted = true;
    if (multi != nullptr)
        curl_multi_wakeup(multi);
}

void CurlTransport::Detach()
{
    if (attached) {
        curl_multi_remove_handle(multi, easy);
        attached = false;
    }
}

void CurlTransport::Close()
{
    Detach();
    if (headerList != nullptr) {
        curl_slist_free_all(headerList);
        headerList = nullptr;
    }
    answer.Clear();
    transferDone = false;
    headersDone = false;
    requestSent = false;
    transferError = 0;
    offeredSchemes = 0;
    challengeStatus = 0;
}

void CurlTransport::AbortTransfer(uint32_t error)
{
    Detach();
    transferDone = true;
    transferError = error;
}

void CurlTransport::FinishTransfer(int curlCode)
{
    transferDone = true;
    headersDone = true;
    transferError = MapCurlError(static_cast<CURLcode>(curlCode));
}

bool CurlTransport::Start(const HttpRequest& request, const TransportTarget& target)
{
    Close();
    if (easy == nullptr) {
        transferError = HttpErrorInternal;
        return false;
    }
    if (!IsUsableHost(target.host) || !Configure(request, target)) {
        Close();
        return false;
    }
    // One deadline for the whole exchange: connecting, sending and the answer to its
    // end. Bytes arriving do not extend it, so a device trickling its answer holds the
    // caller no longer than a silent one.
    deadlineMs = velkora::MonotonicMs() + timeoutMs;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        Close();
        transferError = HttpErrorInternal;
        return false;
    }
    attached = true;
    return true;
}

bool CurlTransport::Configure(const HttpRequest& request, const TransportTarget& target)
{
    if (request.verb.empty() || request.path.empty())
        return false;
    // Nothing from outside may add a line to the request.
    if (velkora::HasLineBreak(request.verb) || velkora::HasLineBreak(request.path) ||
        request.verb.find(' ') != std::string::npos)
        return false;
    for (const std::string& header : request.headers)
        if (velkora::HasLineBreak(header))
            return false;

    const std::string url = std::string(target.secure ? "https://" : "http://") + target.host + ":" +
                            std::to_string(target.port) + EncodePath(request.path);
    if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK)
        return false;

    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (request.verb == "HEAD")
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (request.verb == "POST" || !request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS,
                         request.body.empty() ? "" : reinterpret_cast<const char*>(request.body.data()));
    }
    if (request.verb != "GET" && request.verb != "POST" && request.verb != "HEAD")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());

    curl_easy_setopt(easy, CURLOPT_USERNAME, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_PASSWORD, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    if (target.authScheme != 0) {
        // Digest quotes the user name into a header line: no line breaks in credentials.
        if (velkora::HasLineBreak(target.user) || velkora::HasLineBreak(target.password))
            return false;
        const long auth = SchemeToCurlAuth(target.authScheme);
        if (auth == 0 || curl_easy_setopt(easy, CURLOPT_HTTPAUTH, auth) != CURLE_OK)
            return false;
        curl_easy_setopt(easy, CURLOPT_USERNAME, target.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, target.password.c_str());
    }

    // A CA file is the integrator's request to verify, whatever the caller's flags say.
    const bool relaxTls =
        target.secure && target.caFile.empty() && (request.flags & HttpRequest::FlagIgnoreCertErrors) != 0;
    if (!target.caFile.empty() && curl_easy_setopt(easy, CURLOPT_CAINFO, target.caFile.c_str()) != CURLE_OK)
        return false;
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, relaxTls ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, relaxTls ? 0L : 2L);
    followRedirects = (request.flags & HttpRequest::FlagNoRedirects) == 0;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);

    for (const std::string& header : request.headers) {
        curl_slist* list = curl_slist_append(headerList, header.c_str());
        if (list == nullptr)
            return false;
        headerList = list;
    }
    // No "Expect: 100-continue" round trip before the body.
    curl_slist* list = curl_slist_append(headerList, "Expect:");
    if (list == nullptr)
        return false;
    headerList = list;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    return true;
}

uint32_t CurlTransport::StatusCode() const
{
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return static_cast<uint32_t>(status);
}

long long CurlTransport::ContentLength() const
{
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return length;
}

bool CurlTransport::Drive(Wait until)
{
    auto reached = [&] {
        switch (until) {
        case Wait::Sent: return requestSent || transferDone;
        case Wait::Headers: return headersDone || transferDone;
        case Wait::Body: return answer.Size() > 0 || transferDone;
        }
        return true;
    };
    while (true) {
        if (aborted) {
            AbortTransfer(HttpErrorCancelled);
            return false;
        }
        if (!attached && !transferDone) {
            transferDone = true;
            transferError = HttpErrorInternal;
        }
        if (reached())
            return transferError == 0 || (until == Wait::Body && answer.Size() > 0);

        int running = 0;
        curl_multi_perform(multi, &running);
        if (!requestSent) {
            long requestSize = 0;
            if (curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestSize) == CURLE_OK && requestSize > 0)
                requestSent = true;
        }
        int pending = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &pending))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                FinishTransfer(message->data.result);
        if (reached())
            continue;

        const uint64_t now = velkora::MonotonicMs();
        if (now >= deadlineMs) {
            AbortTransfer(HttpErrorTimeout);
            return false;
        }
        const int waitMs = static_cast<int>(std::min<uint64_t>(deadlineMs - now, 1000));
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
}

size_t CurlTransport::OnHeader(const char* data, size_t size)
{
    requestSent = true;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();

    if (line.compare(0, 5, "HTTP/") == 0) {
        // A new answer (after 100-continue, an authentication round or a redirect).
        offeredSchemes = 0;
        const std::size_t space = line.find(' ');
        challengeStatus = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
    } else if (line.empty()) {
        const long status = challengeStatus;
        // A 401 may still be answered by curl's own authentication round, and a
        // redirect followed: for those the end of the transfer (or body) decides.
        const bool interim = status < 200 || status == 401 || (followRedirects && status >= 300 && status < 400);
        if (!interim)
            headersDone = true;
    } else if (strncasecmp(line.c_str(), "WWW-Authenticate:", 17) == 0) {
        offeredSchemes |= SchemesOfChallenge(std::string_view(line).substr(17));
    }
    return size;
}

size_t CurlTransport::OnBody(const char* data, size_t size)
{
    requestSent = true;
    if (!answer.Append(data, size))
        return CURL_WRITEFUNC_PAUSE;
    headersDone = true;
    return size;
}

uint32_t CurlTransport::TakeBuffered(std::vector<uint8_t>& out, uint32_t maxBytes)
{
    const uint32_t take = answer.Take(out, maxBytes);
    if (answer.TakeResume() && attached)
        curl_easy_pause(easy, CURLPAUSE_CONT);
    return take;
}

}  // namespace Web
