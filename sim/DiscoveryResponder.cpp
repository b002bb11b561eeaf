#include "sim/DiscoveryResponder.h"

#include "sim/SoapRequest.h"
#include "sim/SoapWriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <sstream>

namespace sim {

namespace {

constexpr const char* kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char* kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char* kNetworkNs = "http://www.onvif.org/ver10/network/wsdl";

std::string NewUuid()
{
    std::random_device random;
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-4%03x-%04x-%04x%08x", random(), random() & 0xFFFF, random() & 0xFFF,
                  (random() & 0x3FFF) | 0x8000, random() & 0xFFFF, random());
    return text;
}

// Does a probe's QName list ask for what we are (or for anything)?
bool TypesMatch(const xmlNode* types)
{
    std::istringstream words(NodeText(types));
    bool any = false;
    for (std::string qname; words >> qname;) {
        any = true;
        const auto colon = qname.find(':');
        const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
        const std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
        const xmlNs* ns = xmlSearchNs(types->doc, const_cast<xmlNode*>(types),
                                      prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
        if (local == "NetworkVideoTransmitter" && ns && ns->href &&
            std::strcmp(reinterpret_cast<const char*>(ns->href), kNetworkNs) == 0)
            return true;
    }
    return !any;
}

// Each scope asked for must be one of ours or a whole-segment prefix of one.
bool ScopesMatch(const xmlNode* scopes, const std::vector<std::string>& ours)
{
    std::istringstream words(NodeText(scopes));
    for (std::string wanted; words >> wanted;) {
        while (wanted.size() > 1 && wanted.back() == '/')
            wanted.pop_back();
        bool found = false;
        for (const auto& s : ours)
            found = found || s == wanted || (s.compare(0, wanted.size(), wanted) == 0 && s[wanted.size()] == '/');
        if (!found)
            return false;
    }
    return true;
}

}  // namespace

DiscoveryResponder::DiscoveryResponder(DiscoveryIdentity identity, RequestLog& log)
    : identity_(std::move(identity)), log_(log)
{
    if (identity_.endpoint.empty())
        identity_.endpoint = "urn:uuid:" + NewUuid();
}

DiscoveryResponder::~DiscoveryResponder()
{
    Stop();
}

bool DiscoveryResponder::Start(const std::string& address, std::uint16_t port, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        errno = EINVAL;
        return fail("discovery: bad address " + address);
    }
    unicastFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (unicastFd_ < 0 || bind(unicastFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return fail("discovery: cannot bind UDP " + address + ":" + std::to_string(port));
    socklen_t length = sizeof local;
    getsockname(unicastFd_, reinterpret_cast<sockaddr*>(&local), &length);
    port_ = ntohs(local.sin_port);

    // The group, on the interface of the bound address; shared with other listeners of the port.
    multicastFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in group = local;
    inet_pton(AF_INET, kGroup, &group.sin_addr);
    ip_mreq membership{};
    membership.imr_multiaddr = group.sin_addr;
    membership.imr_interface = local.sin_addr;
    if (multicastFd_ < 0 || setsockopt(multicastFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(multicastFd_, reinterpret_cast<sockaddr*>(&group), sizeof group) != 0 ||
        setsockopt(multicastFd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        if (multicastFd_ >= 0)
            close(multicastFd_);
        multicastFd_ = -1;
    }
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DiscoveryResponder::Stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (int* fd : {&unicastFd_, &multicastFd_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

void DiscoveryResponder::Run()
{
    std::string buffer(kMaxDatagram, '\0');
    while (!stopping_) {
        pollfd fds[2] = {{unicastFd_, POLLIN, 0}, {multicastFd_, POLLIN, 0}};
        if (poll(fds, multicastFd_ >= 0 ? 2 : 1, 100) <= 0)  // wakes for Stop within 100 ms
            continue;
        for (const pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & POLLIN))
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n =
                recvfrom(p.fd, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
            if (n <= 0)
                continue;
            const std::string reply = Answer(buffer.substr(0, static_cast<std::size_t>(n)));
            if (!reply.empty())  // answered from the unicast socket, so the asker sees our address
                sendto(unicastFd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }
}

std::string DiscoveryResponder::Answer(const std::string& datagram)
{
    auto request = SoapRequest::Parse(datagram, nullptr, nullptr);
    if (!request || request->OperationName() != "Probe" || request->OperationNamespace() != kDiscoveryNs)
        return {};
    log_.Add("discovery Probe");
    const std::string messageId = PathText(request->Header(), "MessageID");
    if (!TypesMatch(FindChild(request->Operation(), "Types")) ||
        !ScopesMatch(FindChild(request->Operation(), "Scopes"), identity_.scopes) || messageId.size() > 256)
        return {};
    std::string scopes;
    for (const auto& s : identity_.scopes) {
        if (!scopes.empty())
            scopes += ' ';
        scopes += XmlEscape(s);
    }
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"") +
           kSoapEnvelopeNs + "\" xmlns:wsa=\"" + kAddressingNs + "\" xmlns:d=\"" + kDiscoveryNs + "\" xmlns:dn=\"" +
           kNetworkNs + "\" xmlns:tds=\"" + kDeviceNs + "\"><SOAP-ENV:Header><wsa:MessageID>urn:uuid:" + NewUuid() +
           "</wsa:MessageID>" +
           (messageId.empty() ? "" : "<wsa:RelatesTo>" + XmlEscape(messageId) + "</wsa:RelatesTo>") + "<wsa:To>" +
           kAddressingNs + "/role/anonymous</wsa:To><wsa:Action>" + kDiscoveryNs +
           "/ProbeMatches</wsa:Action><d:AppSequence InstanceId=\"1\" MessageNumber=\"" +
           std::to_string(++messageNumber_) +
           "\"/></SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>" +
           XmlEscape(identity_.endpoint) +
           "</wsa:Address></wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types><d:Scopes>" +
           scopes + "</d:Scopes><d:XAddrs>" + XmlEscape(identity_.xaddr) +
           "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body>"
           "</SOAP-ENV:Envelope>\n";
}

}  // namespace sim
