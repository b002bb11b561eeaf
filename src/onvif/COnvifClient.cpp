#include "onvif/COnvifClient.h"

#include "foundation/FileTime.h"
#include "onvif/CXmlParser.h"
#include "foundation/Sha1.h"
#include "onvif/XmlEscape.h"
#include "foundation/Base64.h"

#include <cstdio>
#include <mutex>

namespace velkora {

namespace {

const char* const kFaultBase = "SOAP-ENV:Envelope/SOAP-ENV:Body/SOAP-ENV:Fault";

// Process-wide nonce state: a counter started from the clock and the C
// library's linear congruential generator, kept here so that no other user of
// rand() disturbs it.
struct NonceState
{
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

} // namespace

COnvifClient::COnvifClient(const DEVICE_INFO& device) : device(device)
{
    paths.devicePath = "/onvif/device_service";
    namespaces.SetDefaults();
}

COnvifClient::~COnvifClient()
{
    Reset();
}

void COnvifClient::ParseFaultDetail(CXmlParser&, const std::string&)
{
}

bool COnvifClient::Initialize(const std::string& authenticationType, const std::string& customNamespaces)
{
    Reset();
    namespaces.Clear();
    if (device.host.empty())
        return false;

    // Credentials travel only in the WS-Security header, never as HTTP authentication.
    DEVICE_INFO anonymous(device);
    anonymous.user.clear();
    anonymous.password.clear();
    {
        CAutoLock guard(lock);
        sender = TSmartPtr<Web::CHttpSender>(new (std::nothrow) Web::CHttpSender(anonymous));
        if (!sender)
            return false;
    }
    digest = authenticationType != "Basic";
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
    if (!ownPrefix.empty())
    {
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
    if (!request.passwordDigest.empty())
    {
        token += std::string("<wsse:Password Type=\"") + XmlNs::PasswordDigestType + "\">" +
                 XmlEscape(request.passwordDigest) + "</wsse:Password>";
        token += MakeElement("wsse:Nonce", XmlEscape(request.nonce));
        token += MakeElement("wsu:Created", XmlEscape(request.created));
    }
    else
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
    if (state.counter == 0)
    {
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

bool COnvifClient::Exchange(const SoapRequest& request, std::string& answer)
{
    answer.clear();
    lastFault = SoapFault();

    Web::HttpRequest http(request.verb, request.servicePath);
    SoapRequest prepared = request;
    if (!CreateUsernameToken(prepared, device.password, !digest))
        return false;
    const std::string envelope = BuildEnvelope(prepared);
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
        return false;

    if (!shared->Send(http))
    {
        lastFault.transportError = shared->GetLastError();
        shared->Release();
        return false;
    }
    lastFault.httpStatus = shared->GetStatusCode();
    std::vector<uint8_t> body;
    shared->ReadResponse(body);
    shared->Release();
    if (!body.empty())
    {
        std::string text(body.begin(), body.end());
        switch (lastFault.httpStatus)
        {
        case 200: answer = std::move(text); break;
        case 400:
            ParseFault(text);
            if (digest && !lastFault.FindAuthenticationFault().empty())
            {
                // Some devices accept only the plain-text password: ask once more, and from now on, that way.
                digest = false;
                return Exchange(request, answer);
            }
            break;
        case 500: ParseFault(text); break;
        default: break;
        }
    }
    return !answer.empty();
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
    while (true)
    {
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

} // namespace velkora
