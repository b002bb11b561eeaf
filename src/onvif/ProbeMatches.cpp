#include "onvif/ProbeMatches.h"

#include <algorithm>
#include <sstream>

#include "onvif/CXmlParser.h"
#include "onvif/XmlEscape.h"

namespace velkora {
namespace Onvif {

namespace {

constexpr const char* kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char* kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char* kNetworkNs = "http://www.onvif.org/ver10/network/wsdl";
constexpr const char* kScopeBase = "onvif://www.onvif.org/";
constexpr const char* kDevicePath = "/onvif/device_service";

// An element step by namespace and local name, so that neither the answer's prefixes
// nor its declarations can redirect the query (SOAP 1.1 and 1.2 envelopes both pass).
std::string Step(const char* ns, const char* local)
{
    std::string step = "/*[local-name()='";
    step += local;
    step += ns ? std::string("' and namespace-uri()='") + ns + "']" : std::string("']");
    return step;
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word && words.size() < DiscoveredDevices::kMaxItems;)
        if (word.size() <= DiscoveredDevices::kMaxText)
            words.push_back(word);
    return words;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The rest of the first scope under onvif://www.onvif.org/<kind>/.
std::string ScopeValue(const std::vector<std::string>& scopes, const std::string& kind)
{
    const std::string prefix = kScopeBase + kind + "/";
    for (const auto& scope : scopes)
        if (scope.size() > prefix.size() && scope.compare(0, prefix.size(), prefix) == 0)
            return PercentDecoded(scope.substr(prefix.size()));
    return {};
}

bool ServedAddress(const std::string& xaddr)
{
    constexpr std::string_view scheme = "http://";
    if (xaddr.compare(0, scheme.size(), scheme) != 0)
        return false;
    const std::size_t path = xaddr.find('/', scheme.size());
    return path != std::string::npos && path > scheme.size() &&
           xaddr.compare(path, std::string::npos, kDevicePath) == 0;
}

void AddUnique(std::vector<std::string>& to, const std::vector<std::string>& from)
{
    for (const auto& item : from)
        if (to.size() < DiscoveredDevices::kMaxItems && std::find(to.begin(), to.end(), item) == to.end())
            to.push_back(item);
}

}  // namespace

std::string DiscoveredDevice::DeviceAddress() const
{
    for (const auto& xaddr : xaddrs)
        if (ServedAddress(xaddr))
            return xaddr;
    return xaddrs.empty() ? std::string() : xaddrs.front();
}

bool DiscoveredDevice::Served() const
{
    return videoTransmitter && ServedAddress(DeviceAddress());
}

std::string ProbeMessage(const std::string& messageId)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s:Envelope xmlns:s=\"") + XmlNs::SoapEnvelope +
           "\" xmlns:a=\"" + kAddressingNs + "\" xmlns:d=\"" + kDiscoveryNs + "\" xmlns:dn=\"" + kNetworkNs +
           "\"><s:Header><a:MessageID>" + XmlEscape(messageId) +
           "</a:MessageID><a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To><a:Action>" + kDiscoveryNs +
           "/Probe</a:Action></s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>"
           "</s:Body></s:Envelope>\n";
}

std::size_t DiscoveredDevices::Add(const std::string& answer)
{
    CXmlParser parser;
    if (answer.size() > kMaxAnswer || !parser.Load(answer))
        return 0;
    const std::string envelope = Step(nullptr, "Envelope");
    const std::string relatesTo =
        parser.GetNodeText(envelope + Step(nullptr, "Header") + Step(kAddressingNs, "RelatesTo"));
    if (!messageId.empty() && !relatesTo.empty() && relatesTo != messageId)
        return 0;
    std::string matches = "(";
    matches +=
        envelope + Step(nullptr, "Body") + Step(kDiscoveryNs, "ProbeMatches") + Step(kDiscoveryNs, "ProbeMatch") + ")";
    std::size_t taken = 0;
    for (std::size_t i = 1; i <= kMaxMatchesPerAnswer; ++i) {
        const std::string match = matches + "[" + std::to_string(i) + "]";
        if (!parser.NodeExists(match))
            break;
        DiscoveredDevice device;
        device.endpoint =
            parser.GetNodeText(match + Step(kAddressingNs, "EndpointReference") + Step(kAddressingNs, "Address"));
        // Surrounding blanks are layout, not identity.
        const auto first = device.endpoint.find_first_not_of(" \t\r\n");
        device.endpoint = first == std::string::npos
                              ? std::string()
                              : device.endpoint.substr(first, device.endpoint.find_last_not_of(" \t\r\n") + 1 - first);
        if (device.endpoint.empty() || device.endpoint.size() > kMaxText)
            continue;
        for (const auto& type : Words(parser.GetNodeText(match + Step(kDiscoveryNs, "Types")))) {
            const auto colon = type.find(':');
            if (colon != std::string::npos &&
                type.compare(colon + 1, std::string::npos, "NetworkVideoTransmitter") == 0 &&
                parser.Namespaces().GetUri(type.substr(0, colon)) == kNetworkNs)
                device.videoTransmitter = true;
        }
        device.scopes = Words(parser.GetNodeText(match + Step(kDiscoveryNs, "Scopes")));
        device.xaddrs = Words(parser.GetNodeText(match + Step(kDiscoveryNs, "XAddrs")));
        device.model = ScopeValue(device.scopes, "hardware");
        device.name = ScopeValue(device.scopes, "name");
        Merge(std::move(device));
        ++taken;
    }
    return taken;
}

void DiscoveredDevices::Merge(DiscoveredDevice device)
{
    auto same = std::find_if(devices.begin(), devices.end(),
                             [&](const DiscoveredDevice& known) { return known.endpoint == device.endpoint; });
    if (same == devices.end()) {
        if (devices.size() < kMaxDevices)
            devices.push_back(std::move(device));
        else
            overflowed = true;
        return;
    }
    // A device with several interfaces answers once on each: one entry with all addresses.
    AddUnique(same->xaddrs, device.xaddrs);
    AddUnique(same->scopes, device.scopes);
    same->videoTransmitter = same->videoTransmitter || device.videoTransmitter;
    if (same->model.empty())
        same->model = device.model;
    if (same->name.empty())
        same->name = device.name;
}

}  // namespace Onvif
}  // namespace velkora
