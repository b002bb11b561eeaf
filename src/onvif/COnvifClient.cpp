#include "onvif/COnvifClient.h"

#include "foundation/FileTime.h"
#include "onvif/CXmlParser.h"
#include "onvif/DeviceClock.h"
#include "onvif/DeviceClockOffsets.h"
#include "foundation/Sha1.h"
#include "onvif/XmlEscape.h"
#include "foundation/Base64.h"
#include "foundation/MethodName.h"

#include <cstdio>
#include <mutex>

namespace velkora {

namespace {

constexpr char kClassName[] = "COnvifClient";

const char* const kFaultBase = "SOAP-ENV:Envelope/SOAP-ENV:Body/SOAP-ENV:Fault";

// Process-wide nonce state: a counter started from the clock and the C
// library's linear congruential generator, kept here so that no other user of
// rand() disturbs it.
struct NonceState {
    std::mutex lock;
    uint32_t counter = 0;
    uint32_t random = 0;

    unsigned Next()
    {
        random = random * 214013u + 2531011u;
        return (random >> 16) & 0x7fff;
    }
};

NonceState& Nonces()
{
    static NonceState state;
    return state;
}

}  // namespace

COnvifClient::COnvifClient(const DEVICE_INFO& device) : device(device)
{
    paths.devicePath = "/onvif/device_service";
    namespaces.SetDefaults();
}

COnvifClient::~COnvifClient()
{
    Reset();
}

void COnvifClient::ParseFaultDetail(CXmlParser&, const std::string&) {}

bool COnvifClient::Initialize(const std::string& authenticationType, const std::string& customNamespaces)
{
    Reset();
    namespaces.Clear();
    if (device.host.empty())
        return false;

    // Credentials travel in the WS-Security header; the sender offers them over
    // HTTP only to a device that demands it with a 401 (SOAP requests select HttpAuthNone).
    {
        CAutoLock guard(lock);
        sender = TSmartPtr<Web::CHttpSender>(new (std::nothrow) Web::CHttpSender(device));
        if (!sender)
            return false;
    }
    // Without plain-text passwords a "Basic" setting still gets the digest.
    digest = authenticationType != "Basic" || device.neverPlaintextPassword;
    namespaces.SetDefaults();
    namespaces.Add("s", XmlNs::SoapEnvelope);
    if (!customNamespaces.empty())
        namespaces.ParseCustom(customNamespaces);
    return true;
}

void COnvifClient::Reset()
{
    CAutoLock guard(lock);
    sender.Release();
}

void COnvifClient::Abort()
{
    TSmartPtr<Web::CHttpSender> shared;
    {
        CAutoLock guard(lock);
        shared = sender;
    }
    if (shared)
        shared->Cancel();
}

bool COnvifClient::SetServiceAddresses(const ServiceAddresses& addresses)
{
    paths = ServiceAddresses();
    if (addresses.devicePath.empty())
        return false;
    paths = addresses;
    return true;
}

std::string COnvifClient::MakeElement(const std::string& name, const std::string& value, const std::string& ownPrefix,
                                      const std::string& extraPrefix1, const std::string& extraPrefix2) const
{
    if (name.empty())
        return {};
    std::string text = "<" + name;
    if (!ownPrefix.empty()) {
        text += name.find(':') != std::string::npos ? namespaces.GetDeclaration(ownPrefix)
                                                    : namespaces.GetDefaultDeclaration(ownPrefix);
        if (!extraPrefix1.empty())
            text += namespaces.GetDeclaration(extraPrefix1);
        if (!extraPrefix2.empty())
            text += namespaces.GetDeclaration(extraPrefix2);
    }
    if (value.empty())
        text += "/>";
    else
        text += ">" + value + "</" + name + ">";
    return text;
}

std::string COnvifClient::BuildSecurityHeader(const SoapRequest& request) const
{
    if (device.user.empty() && device.password.empty())
        return {};
    std::string token = MakeElement("wsse:Username", XmlEscape(device.user));
    if (!request.passwordDigest.empty()) {
        token += std::string("<wsse:Password Type=\"") + XmlNs::PasswordDigestType + "\">" +
                 XmlEscape(request.passwordDigest) + "</wsse:Password>";
        token += MakeElement("wsse:Nonce", XmlEscape(request.nonce));
        token += MakeElement("wsu:Created", XmlEscape(request.created));
    } else
        token += MakeElement("wsse:Password", XmlEscape(device.password));
    return MakeElement("wsse:Security", MakeElement("wsse:UsernameToken", token), "wsse", "wsu");
}

std::string COnvifClient::BuildEnvelope(const SoapRequest& request) const
{
    const std::string headerContent = BuildSecurityHeader(request) + request.extraHeader;
    std::string inner;
    if (!headerContent.empty())
        inner = MakeElement("s:Header", headerContent);
    inner += MakeElement("s:Body", request.body, "xsi", "xsd");
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + MakeElement("s:Envelope", inner, "s") + "\r\n\r\n";
}

std::string COnvifClient::CreateNonce(const SYSTEMTIME& now)
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+/";
    NonceState& state = Nonces();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.counter == 0) {
        state.counter = uint32_t(now.wSecond) * 1000u + now.wMilliseconds;
        state.random = state.counter;
    }
    char piece[16];
    std::snprintf(piece, sizeof(piece), "%.2x", state.counter);
    std::string text = piece;
    state.counter += state.Next() % 99 + 1;
    text += kAlphabet[state.Next() % 64];
    std::snprintf(piece, sizeof(piece), "%.3x", unsigned(now.wMilliseconds));
    text += piece;
    text += kAlphabet[state.Next() % 64];
    std::snprintf(piece, sizeof(piece), "%.2x", unsigned(now.wSecond));
    text += piece;
    text += kAlphabet[state.Next() % 64];
    std::snprintf(piece, sizeof(piece), "%.2x", unsigned(now.wMinute));
    text += piece;
    while (text.size() < 16)
        text += kAlphabet[state.Next() % 64];
    return text;
}

bool COnvifClient::CreateUsernameToken(SoapRequest& request, const std::string& password, bool plain)
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return CreateUsernameToken(request, password, plain, now);
}

bool COnvifClient::CreateUsernameToken(SoapRequest& request, const std::string& password, bool plain,
                                       const SYSTEMTIME& now)
{
    request.passwordDigest.clear();
    request.nonce.clear();
    request.created.clear();
    if (plain)
        return true;
    char created[64];
    std::snprintf(created, sizeof(created), "%.4u-%.2u-%.2uT%.2u:%.2u:%.2uZ", unsigned(now.wYear), unsigned(now.wMonth),
                  unsigned(now.wDay), unsigned(now.wHour), unsigned(now.wMinute), unsigned(now.wSecond));
    const std::string nonceText = CreateNonce(now);
    if (nonceText.empty())
        return false;
    const std::string nonce = Base64Encode(nonceText);
    if (nonce.empty())
        return false;
    CSha1 sha;
    sha.Update(nonceText);
    sha.Update(std::string_view(created));
    sha.Update(password);
    const CSha1::Digest hash = sha.Final();
    request.passwordDigest = Base64Encode(hash.data(), hash.size());
    request.nonce = nonce;
    request.created = created;
    return true;
}

COnvifClient::PostResult COnvifClient::Post(const SoapRequest& request, const std::string& envelope)
{
    PostResult result;
    Web::HttpRequest http(request.verb, request.servicePath);
    http.body.assign(envelope.begin(), envelope.end());
    http.totalLength = static_cast<uint32_t>(envelope.size());
    http.headers.push_back("Content-Type:" + request.contentType);
    http.authSelector = Web::HttpAuthNone;

    TSmartPtr<Web::CHttpSender> shared;
    {
        CAutoLock guard(lock);
        shared = sender;
    }
    if (!shared)
        return result;
    if (!shared->Send(http)) {
        result.transportError = shared->GetLastError();
        shared->Release();
        return result;
    }
    const uint32_t status = shared->GetStatusCode();
    const uint32_t length = shared->GetContentLength();
    const bool basicWithheld = shared->PasswordWithheld();
    std::vector<uint8_t> body;
    shared->ReadResponse(body);
    const uint32_t readError = shared->GetLastError();
    shared->Release();
    // An answer that stopped short of its announced length (the time-out or the
    // connection ended it) is no answer, even where the part that came parses.
    if (length != 0 && body.size() < length && readError != 0) {
        result.transportError = readError;
        return result;
    }
    result.answered = true;
    result.status = status;
    result.basicWithheld = basicWithheld;
    result.body.assign(body.begin(), body.end());
    return result;
}

bool COnvifClient::Exchange(const SoapRequest& request, std::string& answer)
{
    answer.clear();
    lastFault = SoapFault();
    const bool useDigest = digest;
    int64_t offset = useDigest ? DeviceClockOffsets::Shared().Get(ClockKey()) : 0;
    if (offset != 0)
        AnnounceClockOffset(offset);
    bool clockMeasured = false;

    while (true) {
        SoapRequest prepared = request;
        bool made = false;
        if (offset == 0)
            made = CreateUsernameToken(prepared, device.password, !useDigest);
        else
            made = CreateUsernameToken(prepared, device.password, !useDigest,
                                       ShiftedTime(GetSystemTimeAsFileTime(), offset));
        if (!made)
            return false;
        const PostResult result = Post(prepared, BuildEnvelope(prepared));
        if (!result.answered) {
            lastFault.transportError = result.transportError;
            return false;
        }
        lastFault.httpStatus = result.status;
        lastFault.basicWithheld = result.basicWithheld;
        if (result.body.empty())
            return false;
        switch (result.status) {
        case 200: answer = result.body; break;
        case 400:
            ParseFault(result.body);
            if (useDigest && !lastFault.FindAuthenticationFault().empty()) {
                // A digest covers Created: a device whose clock is not ours refuses it.
                // Ask its time once, and when that explains the refusal, ask again on its clock.
                if (!clockMeasured) {
                    clockMeasured = true;
                    if (const std::optional<int64_t> measured = MeasureClockOffset()) {
                        const int64_t deviceOffset =
                            *measured > kClockToleranceSeconds || *measured < -kClockToleranceSeconds ? *measured : 0;
                        DeviceClockOffsets::Shared().Set(ClockKey(), deviceOffset);
                        if (deviceOffset != offset) {
                            offset = deviceOffset;
                            if (offset != 0)
                                AnnounceClockOffset(offset);
                            lastFault = SoapFault();
                            continue;
                        }
                    }
                }
                if (device.neverPlaintextPassword) {
                    lastFault.plainTextWithheld = true;
                    return false;
                }
                // Some devices accept only the plain-text password: ask once more, and from now on, that way.
                digest = false;
                const bool done = Exchange(request, answer);
                if (!done && offset != 0 && !lastFault.GetAuthenticationText("").empty())
                    lastFault.refusedClockOffset = offset;
                return done;
            }
            break;
        case 500: ParseFault(result.body); break;
        default: break;
        }
        return !answer.empty();
    }
}

std::optional<int64_t> COnvifClient::MeasureClockOffset()
{
    // Devices answer this one without a token, so that clients can make a fresh one.
    SoapRequest request(paths.devicePath.empty() ? "/onvif/device_service" : paths.devicePath);
    request.body = MakeElement("tds:GetSystemDateAndTime", "", "tds");
    const std::string envelope = "<?xml version=\"1.0\" encoding=\"utf-8\"?>" +
                                 MakeElement("s:Envelope", MakeElement("s:Body", request.body, "xsi", "xsd"), "s") +
                                 "\r\n\r\n";
    const PostResult result = Post(request, envelope);
    const uint64_t ours = GetSystemTimeAsFileTime();
    if (!result.answered || result.status != 200)
        return std::nullopt;
    const std::optional<DeviceDateTime> time = ReadDeviceDateTime(result.body);
    if (!time)
        return std::nullopt;
    return ClockOffsetSeconds(*time, ours);
}

void COnvifClient::AnnounceClockOffset(int64_t offset)
{
    IDebugMessage* sink = messageSink;
    if (sink == nullptr || !DeviceClockOffsets::Shared().ClaimAnnouncement(ClockKey()))
        return;
    sink->DebugMessage(
        DebugWarning, "%s: The clock of device %s differs from ours by %lld seconds; ONVIF requests are adjusted to it",
        MethodName(kClassName, "Exchange").c_str(), ClockKey().c_str(), static_cast<long long>(offset));
}

void COnvifClient::ParseFault(const std::string& answer)
{
    if (answer.empty())
        return;
    CXmlParser parser;
    if (!parser.Load(answer))
        return;
    const std::string base = kFaultBase;
    lastFault.code = parser.GetNodeText(base + "/SOAP-ENV:Code/SOAP-ENV:Value");
    lastFault.reason = parser.GetNodeText(base + "/SOAP-ENV:Reason/SOAP-ENV:Text");
    std::string subcode = base + "/SOAP-ENV:Code/SOAP-ENV:Subcode";
    while (true) {
        std::string value = parser.GetNodeText(subcode + "/SOAP-ENV:Value");
        if (value.empty())
            break;
        lastFault.subcodes.push_back(std::move(value));
        subcode += "/SOAP-ENV:Subcode";
    }
    ParseFaultDetail(parser, base + "/SOAP-ENV:Detail");
}

std::string COnvifClient::XAddrToPath(const std::string& xaddr)
{
    const std::size_t mark = xaddr.find("://");
    if (mark == std::string::npos)
        return xaddr;
    const std::size_t slash = xaddr.find('/', mark + 3);
    return slash == std::string::npos ? std::string() : xaddr.substr(slash);
}

}  // namespace velkora
