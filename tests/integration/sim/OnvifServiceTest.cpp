#include "SimClients.h"

namespace simtest {
namespace {

const char* kMedia = "http://www.onvif.org/ver10/media/wsdl";
const char* kDevice = "http://www.onvif.org/ver10/device/wsdl";

// <name xmlns="ns">inner</name>
std::string Op(const std::string& name, const std::string& inner = "", const char* ns = kMedia)
{
    return "<" + name + " xmlns=\"" + ns + "\">" + inner + "</" + name + ">";
}

std::string Url(const RunningSim& s, const char* service)
{
    return "http://127.0.0.1:" + std::to_string(s.sim.Ports().http) + "/onvif/" + service;
}

class OnvifService : public ::testing::Test
{
protected:
    HttpResult Post(const std::string& request, const char* service = "media_service")
    {
        return Http(Url(s, service), &request);
    }
    HttpResult Media(const std::string& body) { return Post(SoapRequest(body, "admin")); }
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
        const HttpResult r = Post(SoapRequest(Op(op, "", kDevice), "admin"), "device_service");
        EXPECT_EQ(r.status, 200) << op;
        EXPECT_TRUE(XmllintAccepts(r.body)) << r.body;
    }
    EXPECT_NE(Post(SoapRequest(Op("GetCapabilities", "<Category>All</Category>", kDevice), "admin"), "device_service")
                  .body.find("<tt:XAddr>" + Url(s, "media_service") + "</tt:XAddr>"),
              std::string::npos);
    for (const char* op : {"GetVideoSourceConfigurations", "GetVideoEncoderConfigurations"})
        Ok(Op(op));
    EXPECT_NE(Ok(Op("GetProfiles")).find("token=\"Profile_1_2\""), std::string::npos);
    std::string a = Ok(
        Op("GetVideoEncoderConfigurationOptions", "<ConfigurationToken>VideoEncoderConfig_1_1</ConfigurationToken>"));
    EXPECT_NE(a.find("<tt:Width>1920</tt:Width><tt:Height>1080</tt:Height>"), std::string::npos);
    EXPECT_NE(a.find("<tt:Extension><tt:H264>"), std::string::npos);

    a = Ok(Op("CreateProfile", "<Name>Velkora_VideoSourceConfig_1_Live</Name>"));
    const auto t = a.find("token=\"") + 7;
    const std::string token = a.substr(t, a.find('"', t) - t), profile = "<ProfileToken>" + token + "</ProfileToken>";
    Ok(Op("AddVideoSourceConfiguration", profile + "<ConfigurationToken>VideoSourceConfig_1</ConfigurationToken>"));
    Ok(Op("AddVideoEncoderConfiguration", profile + "<ConfigurationToken>VideoEncoderConfig_1_2</ConfigurationToken>"));
    a = Ok("<trt:GetCompatibleVideoEncoderConfigurations xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">"
           "<trt:ProfileToken>" +
           token + "</trt:ProfileToken></trt:GetCompatibleVideoEncoderConfigurations>");
    EXPECT_NE(a.find("VideoEncoderConfig_1_1"), std::string::npos);

    // Written the way the driver writes it: Configuration in the media namespace, fields in tt.
    Ok("<SetVideoEncoderConfiguration xmlns=\"http://www.onvif.org/ver10/media/wsdl\""
       " xmlns:tt=\"http://www.onvif.org/ver10/schema\"><Configuration token=\"VideoEncoderConfig_1_2\">"
       "<tt:Name>sub</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding><tt:Resolution>"
       "<tt:Width>320</tt:Width><tt:Height>240</tt:Height></tt:Resolution><tt:Quality>3</tt:Quality>"
       "<tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit><tt:EncodingInterval>2</tt:EncodingInterval>"
       "<tt:BitrateLimit>512</tt:BitrateLimit></tt:RateControl><tt:H264><tt:GovLength>12</tt:GovLength>"
       "<tt:H264Profile>Baseline</tt:H264Profile></tt:H264><tt:SessionTimeout>PT60S</tt:SessionTimeout>"
       "</Configuration><ForcePersistence>true</ForcePersistence></SetVideoEncoderConfiguration>");
    a = Ok(Op("GetVideoEncoderConfiguration", "<ConfigurationToken>VideoEncoderConfig_1_2</ConfigurationToken>"));
    for (const char* field :
         {"<tt:Width>320</tt:Width>", "<tt:UseCount>2</tt:UseCount>",  // fixed profile and the new one
          "<tt:H264Profile>Baseline</tt:H264Profile>"})
        EXPECT_NE(a.find(field), std::string::npos) << field << "\n" << a;

    a = Ok(
        Op("GetStreamUri",
           "<StreamSetup><Stream xmlns=\"http://www.onvif.org/ver10/schema\">RTP-Unicast</Stream>"
           "<Transport xmlns=\"http://www.onvif.org/ver10/schema\"><Protocol>UDP</Protocol></Transport></StreamSetup>" +
               profile));
    EXPECT_NE(a.find("<tt:Uri>" + s.sim.StreamUrl(token) + "</tt:Uri>"), std::string::npos) << a;
    EXPECT_NE(Ok(Op("GetProfiles"))
                  .find("token=\"" + token +
                        "\" fixed=\"false\"><tt:Name>Velkora_VideoSourceConfig_1_Live"
                        "</tt:Name><tt:VideoSourceConfiguration token=\"VideoSourceConfig_1\">"),
              std::string::npos);
    Ok("<trt:RemoveVideoEncoderConfiguration xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><trt:ProfileToken>" +
       token + "</trt:ProfileToken></trt:RemoveVideoEncoderConfiguration>");
    Ok(Op("RemoveVideoSourceConfiguration", profile));
    Ok(Op("DeleteProfile", profile));
    EXPECT_EQ(Ok(Op("GetProfiles")).find(token), std::string::npos);
    const HttpResult gone = Media(Op("DeleteProfile", profile));
    EXPECT_EQ(gone.status, 400);
    EXPECT_NE(gone.body.find("ter:NoProfile"), std::string::npos);
    EXPECT_TRUE(XmllintAccepts(gone.body));
}

TEST_F(OnvifService, ABadTokenIsRefusedOnBothServices)
{
    const std::string media = Op("GetProfiles"), device = Op("GetDeviceInformation", "", kDevice);
    auto bare = [](const std::string& body) {
        return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>" + body +
               "</s:Body></s:Envelope>";
    };
    for (const auto& [service, request] :
         std::vector<std::pair<const char*, std::string>>{{"media_service", SoapRequest(media, "wrong")},
                                                          {"media_service", SoapRequest(media, "wrong", false)},
                                                          {"media_service", SoapRequest(media, "admin", true, "root")},
                                                          {"media_service", bare(media)},
                                                          {"device_service", SoapRequest(device, "wrong")},
                                                          {"device_service", SoapRequest(device, "wrong", false)}}) {
        const HttpResult r = Post(request, service);
        EXPECT_EQ(r.status, 400) << request;
        EXPECT_NE(r.body.find("<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value>"), std::string::npos);
        EXPECT_TRUE(XmllintAccepts(r.body));
    }
    EXPECT_EQ(Post(bare(Op("GetSystemDateAndTime", "", kDevice)), "device_service").status, 200)
        << "the clock is readable without a token";
    EXPECT_EQ(Post(SoapRequest(media, "admin", false)).status, 200) << "PasswordText is accepted too";

    sim::SimulatorOptions o = FreePorts();
    o.onvifAuthFailureAs401 = true;
    o.rtspUri = "rtsp://10.1.2.3:554/live&main";
    RunningSim other(o);
    std::string request = SoapRequest(media, "wrong");
    EXPECT_EQ(Http(Url(other, "media_service"), &request).status, 401);
    // The stream URI can point elsewhere, escaped in the answer.
    request =
        SoapRequest(Op("GetStreamUri", "<StreamSetup><Stream>RTP-Unicast</Stream><Transport><Protocol>UDP</Protocol>"
                                       "</Transport></StreamSetup><ProfileToken>Profile_1_1</ProfileToken>"),
                    "admin");
    const HttpResult r = Http(Url(other, "media_service"), &request);
    EXPECT_NE(r.body.find("<tt:Uri>rtsp://10.1.2.3:554/live&amp;main</tt:Uri>"), std::string::npos) << r.body;
}

TEST_F(OnvifService, UnknownOperationsAndMalformedRequestsGetFaults)
{
    HttpResult r = Media(Op("GetAudioSources"));
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("ter:ActionNotSupported"), std::string::npos);
    EXPECT_TRUE(XmllintAccepts(r.body));
    r = Media(Op("GetProfiles", "", kDevice));
    EXPECT_NE(r.body.find("ter:ActionNotSupported"), std::string::npos) << "a media operation in the device namespace";
    const std::string broken = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><GetProfiles";
    r = Post(broken);
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(XmllintAccepts(r.body));
    EXPECT_EQ(Post(broken, "nothing_here").status, 404);
    r = Media(Op("GetStreamUri",
                 "<StreamSetup><Stream>RTP-Multicast</Stream></StreamSetup><ProfileToken>Profile_1_1</ProfileToken>"));
    EXPECT_NE(r.body.find("ter:InvalidStreamSetup"), std::string::npos);
    r = Media(Op("CreateProfile", "<Name>&lt;&amp;\"</Name>"));
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(XmllintAccepts(r.body)) << "names are escaped in answers: " << r.body;
    EXPECT_TRUE(s.sim.WaitForRequest([](const std::string& l) { return l == "onvif GetAudioSources"; },
                                     std::chrono::seconds(1)));
}

TEST_F(OnvifService, FaultKnobs)
{
    s.sim.SetFaults({*sim::ParseFault("onvif-401=GetProfiles*1"), *sim::ParseFault("onvif-fault=GetStreamUri")});
    EXPECT_EQ(Media(Op("GetProfiles")).status, 401);
    EXPECT_EQ(Media(Op("GetProfiles")).status, 200) << "the count ran out";
    const HttpResult r = Media(Op("GetStreamUri"));
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("SOAP-ENV:Receiver"), std::string::npos);

    s.sim.SetFaults({*sim::ParseFault("close-midway=onvif*1")});
    EXPECT_EQ(Media(Op("GetProfiles")).code, CURLE_PARTIAL_FILE) << "the connection closes with the answer half sent";
    EXPECT_EQ(Media(Op("GetProfiles")).status, 200);

    s.sim.SetFaults({*sim::ParseFault("slow=onvif:10000")});
    const std::string request = SoapRequest(Op("GetProfiles"), "admin");
    EXPECT_EQ(Http(Url(s, "media_service"), &request, "", 300).code, CURLE_OPERATION_TIMEDOUT);
    // Stopping wakes the delayed handler instead of waiting for it.
    s.sim.Stop();
}

}  // namespace
}  // namespace simtest
