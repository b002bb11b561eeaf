#include "sim/DiscoveryResponder.h"

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

}  // namespace
}  // namespace sim
