#include "SimClients.h"

namespace simtest {
namespace {

const char* kMedia = "xmlns=\"http://www.onvif.org/ver10/media/wsdl\"";
const char* kDevice = "xmlns=\"http://www.onvif.org/ver10/device/wsdl\"";

class OnvifService : public ::testing::Test {
protected:
    std::string Url(const char* service) const
    {
        return "http://127.0.0.1:" + std::to_string(s.sim.Ports().http) + "/onvif/" + service;
    }
    HttpResult Media(const std::string& body, const std::string& password = "admin")
    {
        const std::string request = SoapRequest(body, password);
        return Http(Url("media_service"), &request);
    }
    HttpResult Device(const std::string& body, const std::string& password = "admin")
    {
        const std::string request = SoapRequest(body, password);
        return Http(Url("device_service"), &request);
    }
    // Runs a media operation that must succeed and answer well-formed XML.
    std::string Ok(const std::string& body)
    {
        const HttpResult r = Media(body);
        EXPECT_EQ(r.status, 200) << body << "\n" << r.body;
        EXPECT_TRUE(XmllintAccepts(r.body)) << r.body;
        EXPECT_NE(r.body.find("http://www.w3.org/2003/05/soap-envelope"), std::string::npos);
        return r.body;
    }
    RunningSim s;
};

TEST_F(OnvifService, EveryOperationAnswersAndChangesPersist)
{
    for (const char* op : {"GetDeviceInformation", "GetCapabilities"}) {
        const HttpResult r = Device(std::string("<") + op + " " + kDevice + "/>");
        EXPECT_EQ(r.status, 200) << op;
        EXPECT_TRUE(XmllintAccepts(r.body)) << r.body;
    }
    const HttpResult caps = Device(std::string("<GetCapabilities ") + kDevice + "><Category>All</Category></GetCapabilities>");
    EXPECT_NE(caps.body.find("<tt:XAddr>" + Url("media_service") + "</tt:XAddr>"), std::string::npos) << caps.body;

    std::string a = Ok(std::string("<GetProfiles ") + kMedia + "/>");
    EXPECT_NE(a.find("token=\"Profile_1_2\""), std::string::npos);
    Ok(std::string("<GetVideoSourceConfigurations ") + kMedia + "/>");
    Ok(std::string("<GetVideoEncoderConfigurations ") + kMedia + "/>");
    a = Ok(std::string("<GetVideoEncoderConfigurationOptions ") + kMedia +
           "><ConfigurationToken>VideoEncoderConfig_1_1</ConfigurationToken></GetVideoEncoderConfigurationOptions>");
    EXPECT_NE(a.find("<tt:Width>1920</tt:Width><tt:Height>1080</tt:Height>"), std::string::npos);
    EXPECT_NE(a.find("<tt:Extension><tt:H264>"), std::string::npos);

    a = Ok(std::string("<CreateProfile ") + kMedia + "><Name>Velkora_VideoSourceConfig_1_Live</Name></CreateProfile>");
    const auto t = a.find("token=\"") + 7;
    const std::string token = a.substr(t, a.find('"', t) - t);
    Ok(std::string("<AddVideoSourceConfiguration ") + kMedia + "><ProfileToken>" + token +
       "</ProfileToken><ConfigurationToken>VideoSourceConfig_1</ConfigurationToken></AddVideoSourceConfiguration>");
    Ok(std::string("<AddVideoEncoderConfiguration ") + kMedia + "><ProfileToken>" + token +
       "</ProfileToken><ConfigurationToken>VideoEncoderConfig_1_2</ConfigurationToken></AddVideoEncoderConfiguration>");
    a = Ok("<trt:GetCompatibleVideoEncoderConfigurations xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">"
           "<trt:ProfileToken>" + token + "</trt:ProfileToken></trt:GetCompatibleVideoEncoderConfigurations>");
    EXPECT_NE(a.find("VideoEncoderConfig_1_1"), std::string::npos);

    // Written the way the driver writes it: Configuration in the media namespace, fields in tt.
    Ok(std::string("<SetVideoEncoderConfiguration ") + kMedia +
       " xmlns:tt=\"http://www.onvif.org/ver10/schema\"><Configuration token=\"VideoEncoderConfig_1_2\">"
       "<tt:Name>sub</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding><tt:Resolution>"
       "<tt:Width>320</tt:Width><tt:Height>240</tt:Height></tt:Resolution><tt:Quality>3</tt:Quality>"
       "<tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit><tt:EncodingInterval>2</tt:EncodingInterval>"
       "<tt:BitrateLimit>512</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>12</tt:GovLength>"
       "<tt:H264Profile>Baseline</tt:H264Profile></tt:H264><tt:SessionTimeout>PT60S</tt:SessionTimeout>"
       "</Configuration><ForcePersistence>true</ForcePersistence></SetVideoEncoderConfiguration>");
    a = Ok(std::string("<GetVideoEncoderConfiguration ") + kMedia +
           "><ConfigurationToken>VideoEncoderConfig_1_2</ConfigurationToken></GetVideoEncoderConfiguration>");
    EXPECT_NE(a.find("<tt:Width>320</tt:Width>"), std::string::npos) << a;
    EXPECT_NE(a.find("<tt:UseCount>2</tt:UseCount>"), std::string::npos) << "fixed profile and the new one";
    EXPECT_NE(a.find("<tt:H264Profile>Baseline</tt:H264Profile>"), std::string::npos);

    a = Ok(std::string("<GetStreamUri ") + kMedia + "><StreamSetup><Stream xmlns=\"http://www.onvif.org/ver10/schema\">"
           "RTP-Unicast</Stream><Transport xmlns=\"http://www.onvif.org/ver10/schema\"><Protocol>UDP</Protocol>"
           "</Transport></StreamSetup><ProfileToken>" + token + "</ProfileToken></GetStreamUri>");
    EXPECT_NE(a.find("<tt:Uri>" + s.sim.StreamUrl(token) + "</tt:Uri>"), std::string::npos) << a;

    a = Ok(std::string("<GetProfiles ") + kMedia + "/>");
    EXPECT_NE(a.find("token=\"" + token + "\" fixed=\"false\"><tt:Name>Velkora_VideoSourceConfig_1_Live</tt:Name>"
                     "<tt:VideoSourceConfiguration token=\"VideoSourceConfig_1\">"), std::string::npos) << a;
    Ok("<trt:RemoveVideoEncoderConfiguration xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><trt:ProfileToken>" +
       token + "</trt:ProfileToken></trt:RemoveVideoEncoderConfiguration>");
    Ok("<trt:RemoveVideoSourceConfiguration xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><trt:ProfileToken>" +
       token + "</trt:ProfileToken></trt:RemoveVideoSourceConfiguration>");
    Ok(std::string("<DeleteProfile ") + kMedia + "><ProfileToken>" + token + "</ProfileToken></DeleteProfile>");
    EXPECT_EQ(Ok(std::string("<GetProfiles ") + kMedia + "/>").find(token), std::string::npos);

    const HttpResult gone = Media(std::string("<DeleteProfile ") + kMedia + "><ProfileToken>" + token +
                                  "</ProfileToken></DeleteProfile>");
    EXPECT_EQ(gone.status, 400);
    EXPECT_NE(gone.body.find("ter:NoProfile"), std::string::npos);
    EXPECT_TRUE(XmllintAccepts(gone.body));
}

TEST_F(OnvifService, ABadTokenIsRefusedOnBothServices)
{
    const std::string media = std::string("<GetProfiles ") + kMedia + "/>";
    const std::string device = std::string("<GetDeviceInformation ") + kDevice + "/>";
    const std::string noToken = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>" + media +
                                "</s:Body></s:Envelope>";
    const std::vector<std::pair<std::string, std::string>> attempts{
        {"media_service", SoapRequest(media, "wrong")},
        {"media_service", SoapRequest(media, "wrong", false)},
        {"media_service", SoapRequest(media, "admin", true, "root")},
        {"media_service", noToken},
        {"device_service", SoapRequest(device, "wrong")},
        {"device_service", SoapRequest(device, "wrong", false)},
    };
    for (const auto& [service, request] : attempts) {
        const HttpResult r = Http(Url(service.c_str()), &request);
        EXPECT_EQ(r.status, 400) << request;
        EXPECT_NE(r.body.find("<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value>"), std::string::npos);
        EXPECT_TRUE(XmllintAccepts(r.body));
    }
    const std::string clock = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>"
                              "<GetSystemDateAndTime " + std::string(kDevice) + "/></s:Body></s:Envelope>";
    EXPECT_EQ(Http(Url("device_service"), &clock).status, 200) << "the clock is readable without a token";
    const std::string plain = SoapRequest(media, "admin", false);
    EXPECT_EQ(Http(Url("media_service"), &plain).status, 200) << "PasswordText is accepted too";

    sim::SimulatorOptions o = FreePorts();
    o.onvifAuthFailureAs401 = true;
    RunningSim strict(o);
    const std::string wrong = SoapRequest(media, "wrong");
    const std::string url = "http://127.0.0.1:" + std::to_string(strict.sim.Ports().http) + "/onvif/media_service";
    EXPECT_EQ(Http(url, &wrong).status, 401);
}

TEST_F(OnvifService, UnknownOperationsAndMalformedRequestsGetFaults)
{
    HttpResult r = Media(std::string("<GetAudioSources ") + kMedia + "/>");
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("ter:ActionNotSupported"), std::string::npos);
    EXPECT_TRUE(XmllintAccepts(r.body));
    r = Media(std::string("<GetProfiles ") + kDevice + "/>");
    EXPECT_NE(r.body.find("ter:ActionNotSupported"), std::string::npos) << "a media operation in the device namespace";
    const std::string broken = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><GetProfiles";
    r = Http(Url("media_service"), &broken);
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(XmllintAccepts(r.body));
    EXPECT_EQ(Http(Url("nothing_here"), &broken).status, 404);
    r = Media(std::string("<GetStreamUri ") + kMedia + "><StreamSetup><Stream>RTP-Multicast</Stream></StreamSetup>"
              "<ProfileToken>Profile_1_1</ProfileToken></GetStreamUri>");
    EXPECT_NE(r.body.find("ter:InvalidStreamSetup"), std::string::npos);
    r = Media(std::string("<CreateProfile ") + kMedia + "><Name>&lt;&amp;\"</Name></CreateProfile>");
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(XmllintAccepts(r.body)) << "names are escaped in answers: " << r.body;
    EXPECT_TRUE(s.sim.WaitForRequest([](const std::string& l) { return l == "onvif GetAudioSources"; },
                                     std::chrono::seconds(1)));
}

TEST_F(OnvifService, FaultKnobs)
{
    const std::string profiles = std::string("<GetProfiles ") + kMedia + "/>";
    s.sim.SetFaults({*sim::ParseFault("onvif-401=GetProfiles*1"), *sim::ParseFault("onvif-fault=GetStreamUri")});
    EXPECT_EQ(Media(profiles).status, 401);
    EXPECT_EQ(Media(profiles).status, 200) << "the count ran out";
    HttpResult r = Media(std::string("<GetStreamUri ") + kMedia + "/>");
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("SOAP-ENV:Receiver"), std::string::npos);

    s.sim.SetFaults({*sim::ParseFault("close-midway=onvif*1")});
    r = Media(profiles);
    EXPECT_EQ(r.code, CURLE_PARTIAL_FILE) << "the connection closes with the answer half sent";
    EXPECT_EQ(Media(profiles).status, 200);

    s.sim.SetFaults({*sim::ParseFault("slow=onvif:10000")});
    const std::string request = SoapRequest(profiles, "admin");
    r = Http(Url("media_service"), &request, "", 300);
    EXPECT_EQ(r.code, CURLE_OPERATION_TIMEDOUT);
    // Stopping wakes the delayed handler instead of waiting for it.
    s.sim.Stop();
}

TEST(OnvifServiceOverride, StreamUriCanPointElsewhere)
{
    sim::SimulatorOptions o = FreePorts();
    o.rtspUri = "rtsp://10.1.2.3:554/live&main";
    RunningSim s(o);
    const std::string request = SoapRequest(std::string("<GetStreamUri ") + kMedia + "><StreamSetup><Stream>RTP-Unicast"
                                            "</Stream><Transport><Protocol>UDP</Protocol></Transport></StreamSetup>"
                                            "<ProfileToken>Profile_1_1</ProfileToken></GetStreamUri>", "admin");
    const HttpResult r =
        Http("http://127.0.0.1:" + std::to_string(s.sim.Ports().http) + "/onvif/media_service", &request);
    EXPECT_NE(r.body.find("<tt:Uri>rtsp://10.1.2.3:554/live&amp;main</tt:Uri>"), std::string::npos) << r.body;
}

}  // namespace
}  // namespace simtest
