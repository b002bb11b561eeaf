// WS-Discovery answers as devices send them, and as a hostile network might.
#include "onvif/ProbeMatches.h"

#include <gtest/gtest.h>

#include "FuzzCorpusReplay.h"

namespace {

using velkora::Onvif::DiscoveredDevices;

std::string
Match(const std::string& endpoint, const std::string& xaddrs,
      const std::string& scopes = "onvif://www.onvif.org/hardware/HQ-SIM onvif://www.onvif.org/name/Lobby%20cam",
      const std::string& types = "dn:NetworkVideoTransmitter tds:Device")
{
    return "<d:ProbeMatch><a:EndpointReference><a:Address>" + endpoint + "</a:Address></a:EndpointReference><d:Types>" +
           types + "</d:Types><d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + xaddrs +
           "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch>";
}

std::string Answer(const std::string& matches, const std::string& relatesTo = "urn:uuid:probe")
{
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
           "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><s:Header><a:RelatesTo>" +
           relatesTo + "</a:RelatesTo></s:Header><s:Body><d:ProbeMatches>" + matches +
           "</d:ProbeMatches></s:Body></s:Envelope>";
}

const std::string kCam = "http://192.0.2.1/onvif/device_service";

struct Case {
    const char* what;
    std::vector<std::string> answers;
    // endpoint | address | model | name | served, one per device
    std::vector<std::string> devices;
};

std::string Describe(const velkora::Onvif::DiscoveredDevice& d)
{
    return d.endpoint + "|" + d.DeviceAddress() + "|" + d.model + "|" + d.name + "|" + (d.Served() ? "yes" : "no");
}

TEST(ProbeMatches, AnswersBecomeOneEntryPerDevice)
{
    const std::string longText(DiscoveredDevices::kMaxText + 1, 'x');
    std::string many;
    for (int i = 0; i < 20; ++i)
        many += Match("urn:e" + std::to_string(i), kCam);
    const std::vector<Case> cases = {
        {"good", {Answer(Match(" urn:e1\n", kCam))}, {"urn:e1|" + kCam + "|HQ-SIM|Lobby cam|yes"}},
        {"several in one answer",
         {Answer(Match("urn:e1", kCam) + Match("urn:e2",
                                               "http://[fe80::1]:8080/x https://192.0.2.2/onvif/device_service "
                                               "http://192.0.2.2:81/onvif/device_service",
                                               "", "dn:NetworkVideoTransmitter"))},
         {"urn:e1|" + kCam + "|HQ-SIM|Lobby cam|yes", "urn:e2|http://192.0.2.2:81/onvif/device_service|||yes"}},
        {"duplicates merge their addresses",
         {Answer(Match("urn:e1", "http://10.0.0.1/x")), Answer(Match("urn:e1", kCam, "")),
          Answer(Match("urn:e1", kCam))},
         {"urn:e1|" + kCam + "|HQ-SIM|Lobby cam|yes"}},
        {"not a video transmitter, https only, other path",
         {Answer(Match("urn:e1", kCam, "", "tds:Device") + Match("urn:e2", "https://192.0.2.1/onvif/device_service") +
                 Match("urn:e3", "http://192.0.2.1/onvif/device"))},
         {"urn:e1|" + kCam + "|||no", "urn:e2|https://192.0.2.1/onvif/device_service|HQ-SIM|Lobby cam|no",
          "urn:e3|http://192.0.2.1/onvif/device|HQ-SIM|Lobby cam|no"}},
        {"type in a foreign namespace",
         {Answer(Match("urn:e1", kCam, "", "tds:NetworkVideoTransmitter"))},
         {"urn:e1|" + kCam + "|||no"}},
        {"answer to another probe", {Answer(Match("urn:e1", kCam), "urn:uuid:other")}, {}},
        {"malformed",
         {"", "<s:Envelope>", Answer(Match("urn:e1", kCam)).substr(0, 400), "\xff\xfe<\0>",
          "<!DOCTYPE s [<!ENTITY x \"urn:e1\">]>" + Answer(Match("&x;", kCam)), Answer(Match("", kCam))},
         {}},
        {"oversized",
         {Answer(Match("urn:e1", kCam)) + std::string(DiscoveredDevices::kMaxAnswer, ' '),
          Answer(Match(longText, kCam))},
         {}},
        {"control characters kept for the printer to escape",
         {Answer(Match("urn:e1", kCam, "onvif://www.onvif.org/name/%1B]0;x%07 onvif://www.onvif.org/hardware/a%0Ab"))},
         {"urn:e1|" + kCam + "|a\nb|\x1b]0;x\x07|yes"}},
    };
    for (const Case& c : cases) {
        DiscoveredDevices devices("urn:uuid:probe");
        for (const auto& answer : c.answers)
            devices.Add(answer);
        std::vector<std::string> got;
        for (const auto& d : devices.Devices())
            got.push_back(Describe(d));
        EXPECT_EQ(got, c.devices) << c.what;
    }

    DiscoveredDevices bounded;
    EXPECT_EQ(bounded.Add(Answer(many)), DiscoveredDevices::kMaxMatchesPerAnswer);
    for (int i = 0; bounded.Devices().size() < DiscoveredDevices::kMaxDevices; ++i)
        bounded.Add(Answer(Match("urn:more" + std::to_string(i), kCam + " " + longText)));
    EXPECT_FALSE(bounded.Overflowed());
    bounded.Add(Answer(Match("urn:last", kCam)));
    EXPECT_TRUE(bounded.Overflowed());
    EXPECT_EQ(bounded.Devices().back().xaddrs, std::vector<std::string>{kCam});
}

}  // namespace

extern "C" int ReplayOnvifProbeMatches(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, ProbeMatches)
{
    ReplayFuzzCorpora({{"fuzz_onvif_probe_matches", ReplayOnvifProbeMatches}});
}
