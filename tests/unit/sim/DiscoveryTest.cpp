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
    // What an answer holds is read by the library's discover command (cli DiscoverTest).
    for (const auto& k : cases)
        EXPECT_EQ(!r.Answer(k.datagram).empty(), k.answered) << k.datagram;
}

}  // namespace
}  // namespace sim
