#include "sim/DiscoveryResponder.h"
#include "sim/Simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace sim {
namespace {

std::string Probe(const std::string& types, const std::string& scopes = "")
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:n=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header><a:MessageID>urn:uuid:probe-1</a:MessageID>"
           "<a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action></s:Header><s:Body><d:Probe>"
           "<d:Types>" +
           types + "</d:Types>" + (scopes.empty() ? "" : "<d:Scopes>" + scopes + "</d:Scopes>") +
           "</d:Probe></s:Body></s:Envelope>";
}

TEST(DiscoveryResponder, MatchesTypesAndScopes)
{
    RequestLog log;
    DiscoveryResponder r({"urn:uuid:cam",
                          "http://127.0.0.1:8000/onvif/device_service",
                          {"onvif://www.onvif.org/type/ptz", "onvif://www.onvif.org/name/Simulated%20Camera"}},
                         log);
    struct Case {
        std::string datagram;
        bool answered;
    } cases[] = {
        {Probe("n:NetworkVideoTransmitter"), true},
        {Probe(""), true},
        {Probe("n:NetworkVideoTransmitter", "onvif://www.onvif.org/name/"), true},
        {Probe("n:NetworkVideoTransmitter", "onvif://www.onvif.org/type/pt"), false},
        {Probe("d:NetworkVideoTransmitter"), false},
        {Probe("x:NetworkVideoTransmitter"), false},
        {"<s:Envelope", false},
        {std::string(4000, '<'), false},
    };
    for (const auto& k : cases) {
        const std::string answer = r.Answer(k.datagram);
        EXPECT_EQ(!answer.empty(), k.answered) << k.datagram;
        if (k.answered) {
            EXPECT_NE(answer.find("<wsa:RelatesTo>urn:uuid:probe-1</wsa:RelatesTo>"), std::string::npos);
            EXPECT_NE(answer.find("<d:XAddrs>http://127.0.0.1:8000/onvif/device_service</d:XAddrs>"),
                      std::string::npos);
        }
    }
}

TEST(DiscoveryResponder, TheSimulatorAnswersAUnicastProbe)
{
    SimulatorOptions o;
    o.httpPort = o.rtspPort = o.ptzPort = o.discoveryPort = 0;
    o.discovery = true;
    Simulator s(o);
    ASSERT_TRUE(s.Start());
    ASSERT_NE(s.Ports().discovery, 0) << s.DiscoveryError();

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(s.Ports().discovery);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::string answer(DiscoveryResponder::kMaxDatagram, '\0');
    for (const std::string& datagram : {std::string("garbage"), Probe("n:NetworkVideoTransmitter")})
        ASSERT_GT(sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    answer.resize(static_cast<std::size_t>(recv(fd, answer.data(), answer.size(), 0)));
    close(fd);
    EXPECT_NE(answer.find("<d:XAddrs>" + s.OnvifDeviceUrl() + "</d:XAddrs>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("onvif://www.onvif.org/type/ptz"), std::string::npos);
}

}  // namespace
}  // namespace sim
