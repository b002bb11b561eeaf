// WS-Discovery answers as devices send them, and as a hostile network might.
#include "onvif/ProbeMatches.h"

#include <gtest/gtest.h>

#include "FuzzCorpusReplay.h"

namespace {

using velkora::Onvif::DiscoveredDevices;

const std::string kCam = "http://192.0.2.1/onvif/device_service";
const std::string kScopes = "onvif://www.onvif.org/hardware/HQ-SIM onvif://www.onvif.org/name/Lobby%20cam";

std::string Match(const std::string& endpoint, const std::string& xaddrs = kCam, const std::string& scopes = kScopes,
                  const std::string& types = "dn:NetworkVideoTransmitter tds:Device")
{
    return "<d:ProbeMatch><a:EndpointReference><a:Address>" + endpoint + "</a:Address></a:EndpointReference><d:Types>" +
           types + "</d:Types><d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + xaddrs + "</d:XAddrs></d:ProbeMatch>";
}

std::string Answer(const std::string& matches, const std::string& relatesTo = "urn:uuid:probe")
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">"
           "<s:Header><a:RelatesTo>" +
           relatesTo + "</a:RelatesTo></s:Header><s:Body><d:ProbeMatches>" + matches +
           "</d:ProbeMatches></s:Body></s:Envelope>";
}

TEST(ProbeMatches, AnswersBecomeOneEntryPerDevice)
{
    const std::string cam = "|" + kCam + "|HQ-SIM|Lobby cam|yes", longText(DiscoveredDevices::kMaxText + 1, 'x');
    struct {
        const char* what;
        std::vector<std::string> answers;
        std::vector<std::string> devices;  // endpoint|address|model|name|served
    } cases[] = {
        {"several in one answer",
         {Answer(Match(" urn:e1\n") + Match("urn:e2",
                                            "http://[fe80::1]/x https://192.0.2.2/onvif/device_service "
                                            "http://192.0.2.2:81/onvif/device_service",
                                            ""))},
         {"urn:e1" + cam, "urn:e2|http://192.0.2.2:81/onvif/device_service|||yes"}},
        {"duplicates merge their addresses",
         {Answer(Match("urn:e1", "http://10.0.0.1/x")), Answer(Match("urn:e1", kCam, "")), Answer(Match("urn:e1"))},
         {"urn:e1" + cam}},
        {"not served: other type, foreign namespace, https, other path",
         {Answer(Match("urn:e1", kCam, "", "tds:Device") + Match("urn:e2", kCam, "", "tds:NetworkVideoTransmitter") +
                 Match("urn:e3", "https://h/onvif/device_service", "") + Match("urn:e4", "http://h/onvif", ""))},
         {"urn:e1|" + kCam + "|||no", "urn:e2|" + kCam + "|||no", "urn:e3|https://h/onvif/device_service|||no",
          "urn:e4|http://h/onvif|||no"}},
        {"malformed, oversized or for another probe",
         {"", "<s:Envelope>", Answer(Match("urn:e1")).substr(0, 400), "\xff\xfe<",
          "<!DOCTYPE s [<!ENTITY x \"urn:e1\">]>" + Answer(Match("&x;")), Answer(Match("")),
          Answer(Match("urn:e1")) + std::string(DiscoveredDevices::kMaxAnswer, ' '), Answer(Match(longText)),
          Answer(Match("urn:e1"), "urn:uuid:other")},
         {}},
        {"control characters kept for the printer to escape",
         {Answer(Match("urn:e1", kCam, "onvif://www.onvif.org/name/%1B]0;x%07 onvif://www.onvif.org/hardware/a%0Ab"))},
         {"urn:e1|" + kCam + "|a\nb|\x1b]0;x\x07|yes"}},
    };
    for (const auto& c : cases) {
        DiscoveredDevices devices("urn:uuid:probe");
        for (const auto& answer : c.answers)
            devices.Add(answer);
        std::vector<std::string> got;
        for (const auto& d : devices.Devices())
            got.push_back(d.endpoint + "|" + d.DeviceAddress() + "|" + d.model + "|" + d.name + "|" +
                          (d.Served() ? "yes" : "no"));
        EXPECT_EQ(got, c.devices) << c.what;
    }

    std::string many;
    for (int i = 0; i < 20; ++i)
        many += Match("urn:e" + std::to_string(i));
    DiscoveredDevices bounded;
    EXPECT_EQ(bounded.Add(Answer(many)), DiscoveredDevices::kMaxMatchesPerAnswer);
    for (int i = 0; i < 1000 && !bounded.Overflowed(); ++i)
        bounded.Add(Answer(Match("urn:more" + std::to_string(i), kCam + " " + longText)));
    EXPECT_EQ(bounded.Devices().size(), DiscoveredDevices::kMaxDevices);
    EXPECT_EQ(bounded.Devices().back().xaddrs, std::vector<std::string>{kCam});
}

}  // namespace

extern "C" int ReplayOnvifProbeMatches(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, ProbeMatches)
{
    ReplayFuzzCorpora({{"fuzz_onvif_probe_matches", ReplayOnvifProbeMatches}});
}
