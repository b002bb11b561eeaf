#include "http/CHttpSender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <strings.h>

namespace Web {

namespace {

constexpr uint32_t kReadBlock = 8192;
constexpr uint32_t kUnknownLengthLimit = 0x200000; // 2 MiB when the answer has no Content-Length
constexpr std::size_t kBufferHighWater = 256 * 1024; // pause the transfer above this
// Devices are untrusted: an announced Content-Length does not get to size our memory.
constexpr uint32_t kMaxBody = 16 * 1024 * 1024;

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t HeaderTrampoline(char* data, size_t size, size_t count, void* sender)
{
    return static_cast<CHttpSender*>(sender)->OnHeader(data, size * count);
}

size_t BodyTrampoline(char* data, size_t size, size_t count, void* sender)
{
    return static_cast<CHttpSender*>(sender)->OnBody(data, size * count);
}

int ProgressTrampoline(void* sender, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    static_cast<CHttpSender*>(sender)->OnProgress();
    return 0;
}

uint32_t MapCurlError(CURLcode code)
{
    switch (code)
    {
    case CURLE_OK: return 0;
    case CURLE_OPERATION_TIMEDOUT: return HttpErrorTimeout;
    case CURLE_COULDNT_RESOLVE_HOST: return HttpErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT: return HttpErrorCannotConnect;
    case CURLE_ABORTED_BY_CALLBACK: return HttpErrorCancelled;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpErrorInvalidServerResponse;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return HttpErrorConnectionError;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return HttpErrorSecureFailure;
    default: return HttpErrorInternal;
    }
}

long SchemeToCurlAuth(uint32_t scheme)
{
    switch (scheme)
    {
    case HttpSchemeBasic: return static_cast<long>(CURLAUTH_BASIC);
    case HttpSchemeNtlm: return static_cast<long>(CURLAUTH_NTLM);
    case HttpSchemeDigest: return static_cast<long>(CURLAUTH_DIGEST);
    case HttpSchemeNegotiate: return static_cast<long>(CURLAUTH_NEGOTIATE);
    default: return 0; // Passport has no counterpart here
    }
}

uint32_t SchemeFromName(const std::string& name)
{
    if (strcasecmp(name.c_str(), "Basic") == 0)
        return HttpSchemeBasic;
    if (strcasecmp(name.c_str(), "NTLM") == 0)
        return HttpSchemeNtlm;
    if (strncasecmp(name.c_str(), "Passport", 8) == 0)
        return HttpSchemePassport;
    if (strcasecmp(name.c_str(), "Digest") == 0)
        return HttpSchemeDigest;
    if (strcasecmp(name.c_str(), "Negotiate") == 0)
        return HttpSchemeNegotiate;
    return 0;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
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
    for (unsigned char c : path)
    {
        if (c <= 0x20 || c >= 0x7f || c == '#')
        {
            result += '%';
            result += hex[c >> 4];
            result += hex[c & 15];
        }
        else
            result += static_cast<char>(c);
    }
    return result;
}

} // namespace

// Marks the owner's operation as running, so that Cancel from another thread
// wakes it instead of touching the request itself.
class BusyScope
{
public:
    explicit BusyScope(CHttpSender& sender) : sender(sender) { sender.EnterBusy(); }
    ~BusyScope() { sender.LeaveBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    CHttpSender& sender;
};

CHttpSender::CHttpSender(const velkora::DEVICE_INFO& device) : CBaseHttpSender(device)
{
    secure = device.port == 443 ? 1 : 0;
    InitCurlOnce();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (multi == nullptr || easy == nullptr)
    {
        // Not reported here: the first Send fails.
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
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(device.requestTimeout));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, HeaderTrampoline);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, BodyTrampoline);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, ProgressTrampoline);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    // Cancel must not wait for a name lookup that is still running.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
}

CHttpSender::~CHttpSender()
{
    CloseRequest();
    if (easy != nullptr)
        curl_easy_cleanup(easy);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
}

void CHttpSender::EnterBusy()
{
    std::lock_guard<std::mutex> guard(busyLock);
    ++busyDepth;
}

void CHttpSender::LeaveBusy()
{
    std::lock_guard<std::mutex> guard(busyLock);
    --busyDepth;
}

bool CHttpSender::Send(const HttpRequest& request)
{
    BusyScope busy(*this);
    HttpRequest copy = request;
    copy.secure = secure;
    cancelled = false;

    int result = Perform(copy);
    if (result == 0)
    {
        if (cancelled)
            return false;
        copy.secure = copy.secure != 0 ? 0 : 1;
        result = Perform(copy);
    }
    if (result == 1)
    {
        secure = copy.secure;
        return true;
    }
    return false;
}

void CHttpSender::Cancel()
{
    std::lock_guard<std::mutex> guard(busyLock);
    cancelled = true;
    if (busyDepth > 0)
    {
        if (multi != nullptr)
            curl_multi_wakeup(multi);
    }
    else
        CloseRequest();
}

uint32_t CHttpSender::ChooseAuthScheme(const HttpRequest& request) const
{
    if (serverAuthScheme != 0)
        return serverAuthScheme;
    const uint32_t selector = request.authSelector;
    if (selector & 4)
        return HttpSchemeNegotiate;
    if ((selector & 3) == 3)
        return HttpSchemeDigest;
    if (selector & 2)
        return HttpSchemePassport;
    if (selector & 1)
        return HttpSchemeNtlm;
    return HttpSchemeBasic;
}

void CHttpSender::CloseRequest()
{
    if (attached)
    {
        curl_multi_remove_handle(multi, easy);
        attached = false;
    }
    if (headerList != nullptr)
    {
        curl_slist_free_all(headerList);
        headerList = nullptr;
    }
    buffered.clear();
    bufferedStart = 0;
    paused = false;
    transferDone = false;
    headersDone = false;
    requestSent = false;
    transferError = 0;
    firstChallenge.clear();
    challengeStatus = 0;
}

void CHttpSender::AbortTransfer(uint32_t error)
{
    if (attached)
    {
        curl_multi_remove_handle(multi, easy);
        attached = false;
    }
    transferDone = true;
    transferError = error;
}

void CHttpSender::FinishTransfer(int curlCode)
{
    transferDone = true;
    headersDone = true;
    transferError = MapCurlError(static_cast<CURLcode>(curlCode));
}

bool CHttpSender::OpenRequest(const HttpRequest& request)
{
    if (request.verb.empty() || request.path.empty())
        return false;
    // Nothing from outside may add a line to the request.
    if (HasLineBreak(request.verb) || HasLineBreak(request.path) || request.verb.find(' ') != std::string::npos)
        return false;
    for (const std::string& header : request.headers)
        if (HasLineBreak(header))
            return false;

    const std::string url = std::string(request.secure != 0 ? "https://" : "http://") + device.host + ":" +
                            std::to_string(device.port) + EncodePath(request.path);
    if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK)
        return false;

    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (request.verb == "HEAD")
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (request.verb == "POST" || !request.body.empty())
    {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS,
                         request.body.empty() ? "" : reinterpret_cast<const char*>(request.body.data()));
    }
    if (request.verb != "GET" && request.verb != "POST" && request.verb != "HEAD")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.verb.c_str());

    curl_easy_setopt(easy, CURLOPT_USERNAME, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_PASSWORD, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    if (!device.user.empty() && request.authSelector != HttpAuthNone)
    {
        // Digest quotes the user name into a header line: no line breaks in credentials.
        if (HasLineBreak(device.user) || HasLineBreak(device.password))
            return false;
        const long auth = SchemeToCurlAuth(ChooseAuthScheme(request));
        if (auth == 0 || curl_easy_setopt(easy, CURLOPT_HTTPAUTH, auth) != CURLE_OK)
            return false;
        curl_easy_setopt(easy, CURLOPT_USERNAME, device.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, device.password.c_str());
    }

    const bool relaxTls = request.secure != 0 && (request.flags & HttpRequest::FlagIgnoreCertErrors) != 0;
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, relaxTls ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, relaxTls ? 0L : 2L);
    followRedirects = (request.flags & HttpRequest::FlagNoRedirects) == 0;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);

    for (const std::string& header : request.headers)
    {
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

int CHttpSender::Perform(HttpRequest& request)
{
    CloseRequest();
    statusCode = 0;
    contentLength = 0;
    lastError = 0;
    if (easy == nullptr)
    {
        lastError = HttpErrorInternal;
        return -1;
    }
    if (!IsUsableHost(device.host))
        return -1;
    if (!OpenRequest(request))
    {
        CloseRequest();
        return -1;
    }

    lastActivity = std::chrono::steady_clock::now();
    lastUp = lastDown = -1;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
    {
        CloseRequest();
        lastError = HttpErrorInternal;
        return -1;
    }
    attached = true;

    const bool sendOnly =
        (request.flags & HttpRequest::FlagSendOnly) != 0 || request.body.size() < request.totalLength;
    if (!Drive(sendOnly ? Wait::Sent : Wait::Headers))
    {
        lastError = transferError != 0 ? transferError : HttpErrorInternal;
        const bool receiving = requestSent;
        CloseRequest();
        if (!receiving)
            return lastError == HttpErrorTimeout ? -1 : 0;
        return lastError == HttpErrorInvalidServerResponse ? -1 : 0;
    }
    if (sendOnly)
        return 1;

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    statusCode = static_cast<uint32_t>(status);
    if (statusCode != 204)
    {
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        contentLength = length > 0 ? static_cast<uint32_t>(std::min<curl_off_t>(length, UINT32_MAX)) : 0;
    }

    if (statusCode == 401 && serverAuthScheme == 0)
    {
        const uint32_t offered = ChooseAuthScheme(request);
        const uint32_t first = SchemeFromName(firstChallenge);
        serverAuthScheme = first;
        CloseRequest();
        if (first == 0 || first == offered)
            return 1;
        return Send(request) ? 1 : -1;
    }
    return 1;
}

bool CHttpSender::Drive(Wait until)
{
    auto reached = [&] {
        switch (until)
        {
        case Wait::Sent: return requestSent || transferDone;
        case Wait::Headers: return headersDone || transferDone;
        case Wait::Body: return buffered.size() > bufferedStart || transferDone;
        }
        return true;
    };
    const auto timeout = std::chrono::milliseconds(device.requestTimeout);
    while (true)
    {
        if (cancelled)
        {
            AbortTransfer(HttpErrorCancelled);
            return false;
        }
        if (!attached && !transferDone)
        {
            transferDone = true;
            transferError = HttpErrorInternal;
        }
        if (reached())
            return transferError == 0 || (until == Wait::Body && buffered.size() > bufferedStart);

        int running = 0;
        curl_multi_perform(multi, &running);
        if (!requestSent)
        {
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

        const auto now = std::chrono::steady_clock::now();
        const auto idle = now - lastActivity;
        if (idle >= timeout)
        {
            AbortTransfer(HttpErrorTimeout);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timeout - idle).count();
        const int waitMs = static_cast<int>(std::clamp<long long>(left, 1, 1000));
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
}

size_t CHttpSender::OnHeader(const char* data, size_t size)
{
    lastActivity = std::chrono::steady_clock::now();
    requestSent = true;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();

    if (line.compare(0, 5, "HTTP/") == 0)
    {
        // A new answer (after 100-continue, an authentication round or a redirect).
        firstChallenge.clear();
        const std::size_t space = line.find(' ');
        challengeStatus = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
    }
    else if (line.empty())
    {
        const long status = challengeStatus;
        // A 401 may still be answered by curl's own authentication round, and a
        // redirect followed: for those the end of the transfer (or body) decides.
        const bool interim = status < 200 || status == 401 || (followRedirects && status >= 300 && status < 400);
        if (!interim)
            headersDone = true;
    }
    else if (firstChallenge.empty() && strncasecmp(line.c_str(), "WWW-Authenticate:", 17) == 0)
    {
        const std::size_t start = line.find_first_not_of(" \t", 17);
        if (start != std::string::npos)
        {
            const std::size_t end = line.find_first_of(" \t,", start);
            const std::string scheme = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (SchemeFromName(scheme) != 0)
                firstChallenge = scheme;
        }
    }
    return size;
}

size_t CHttpSender::OnBody(const char* data, size_t size)
{
    lastActivity = std::chrono::steady_clock::now();
    requestSent = true;
    if (buffered.size() - bufferedStart > kBufferHighWater)
    {
        paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    buffered.insert(buffered.end(), data, data + size);
    headersDone = true;
    return size;
}

void CHttpSender::OnProgress()
{
    curl_off_t up = 0;
    curl_off_t down = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up);
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
    if (up != lastUp || down != lastDown)
    {
        lastUp = up;
        lastDown = down;
        lastActivity = std::chrono::steady_clock::now();
    }
}

uint32_t CHttpSender::TakeBuffered(std::vector<uint8_t>& out, uint32_t maxBytes)
{
    const std::size_t available = buffered.size() - bufferedStart;
    const uint32_t take = static_cast<uint32_t>(std::min<std::size_t>(available, maxBytes));
    out.insert(out.end(), buffered.begin() + static_cast<std::ptrdiff_t>(bufferedStart),
               buffered.begin() + static_cast<std::ptrdiff_t>(bufferedStart + take));
    bufferedStart += take;
    if (bufferedStart == buffered.size())
    {
        buffered.clear();
        bufferedStart = 0;
    }
    if (paused && buffered.size() - bufferedStart <= kBufferHighWater && attached)
    {
        paused = false;
        curl_easy_pause(easy, CURLPAUSE_CONT);
    }
    return take;
}

uint32_t CHttpSender::ReadChunk(std::vector<uint8_t>& buffer, uint32_t maxBytes, bool clearFirst)
{
    BusyScope busy(*this);
    if (clearFirst)
        buffer.clear();
    if (maxBytes == 0 || (!attached && buffered.size() == bufferedStart))
        return 0;
    if (!Drive(Wait::Body))
    {
        lastError = transferError != 0 ? transferError : HttpErrorInternal;
        return 0;
    }
    return TakeBuffered(buffer, maxBytes);
}

uint32_t CHttpSender::ReadResponse(std::vector<uint8_t>& body)
{
    BusyScope busy(*this);
    body.clear();
    uint32_t left = contentLength != 0 ? std::min(contentLength, kMaxBody) : kUnknownLengthLimit;
    while (left > 0)
    {
        const uint32_t read = ReadChunk(body, std::min(left, kReadBlock), false);
        if (read == 0)
            break;
        left -= read;
    }
    return static_cast<uint32_t>(body.size());
}

uint32_t CHttpSender::QueryDataAvailable()
{
    BusyScope busy(*this);
    if (!attached && buffered.size() == bufferedStart)
        return 0;
    if (!Drive(Wait::Body))
        return 0;
    return static_cast<uint32_t>(buffered.size() - bufferedStart);
}

} // namespace Web
