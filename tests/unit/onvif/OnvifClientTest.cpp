#include "onvif/COnvifClient.h"

#include "support/LoopbackHttpServer.h"
#include "support/Peers.h"
#include "foundation/Base64.h"
#include "support/SimCamera.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace velkora;

namespace {

const std::string kEnvelopeNs = "http://www.w3.org/2003/05/soap-envelope";
const std::string kXsi = " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
const std::string kXsd = " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"";
const std::string kSecurityNs =
    " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
    " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\"";

// Local name of the operation element inside s:Body of a request envelope.
std::string OperationOf(const std::string& envelope)
{
    const std::size_t start = envelope.find('>', envelope.find("<s:Body")) + 1;
    if (envelope.at(start - 2) == '/')
        return {};  // an empty body
    const std::string name = envelope.substr(start + 1, envelope.find_first_of(" />", start + 1) - start - 1);
    return name.substr(name.find(':') + 1);
}

std::string Fault(const std::string& subcodes, const std::string& reason)
{
    return "<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"" + kEnvelopeNs +
           "\" xmlns:ter=\"http://www.onvif.org/ver10/error\"><env:Body><env:Fault><env:Code><env:Value>env:Sender"
           "</env:Value>" +
           subcodes + "</env:Code><env:Reason><env:Text xml:lang=\"en\">" + reason +
           "</env:Text></env:Reason></env:Fault></env:Body></env:Envelope>";
}

const std::string kNotAuthorized = HttpAnswer(
    400, Fault("<env:Subcode><env:Value>ter:NotAuthorized</env:Value></env:Subcode>", "Sender not authorized"));

// A device answering every operation from the files of one answer style ("ours" or
// "foreign"), which are also the seeds of the ONVIF answer fuzzer.
LoopbackHttpServer::Handler Camera(const std::string& style)
{
    return [style](const RecordedRequest& request) {
        std::stringstream text;
        text << std::ifstream(HQ_FUZZ_CORPUS "/fuzz_onvif_answer/" + style + "_" + OperationOf(request.body)).rdbuf();
        return HttpAnswer(200, text.str().empty() ? "<ok/>" : text.str());
    };
}

DEVICE_INFO Device(uint16_t port, const std::string& user = "admin", const std::string& password = "secret",
                   const std::string& host = "127.0.0.1")
{
    return DEVICE_INFO(host, port, user, password);
}

ServiceAddresses MediaPaths()
{
    return ServiceAddresses{"/onvif/device_service", "/onvif/media", "", ""};
}

}  // namespace

TEST(OnvifEnvelope, DigestPlainAndAnonymousTexts)
{
    COnvifClient client(Device(80, "ad<min>", "p&ss", "camera"));
    ASSERT_TRUE(client.Initialize("Digest", ""));
    SoapRequest request("/onvif/device_service");
    request.passwordDigest = "DIGEST=";
    request.nonce = "Tk9OQ0U=";
    request.created = "2026-12-06T10:05:09Z";
    request.body = "<GetX/>";
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"" + kEnvelopeNs +
                  "\"><s:Header><wsse:Security" + kSecurityNs +
                  "><wsse:UsernameToken><wsse:Username>ad&lt;min&gt;</wsse:Username><wsse:Password "
                  "Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
                  "#PasswordDigest\">DIGEST=</wsse:Password><wsse:Nonce>Tk9OQ0U=</wsse:Nonce>"
                  "<wsu:Created>2026-12-06T10:05:09Z</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>"
                  "<s:Body" +
                  kXsi + kXsd + "><GetX/></s:Body></s:Envelope>\r\n\r\n",
              client.BuildEnvelope(request));

    request.passwordDigest.clear();
    EXPECT_NE(std::string::npos,
              client.BuildEnvelope(request).find("<wsse:UsernameToken><wsse:Username>ad&lt;min&gt;</wsse:Username>"
                                                 "<wsse:Password>p&amp;ss</wsse:Password></wsse:UsernameToken>"));

    COnvifClient anonymous(Device(80, "", "", "camera"));
    ASSERT_TRUE(anonymous.Initialize("Digest", ""));
    SoapRequest empty("/p");
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"" + kEnvelopeNs + "\"><s:Body" + kXsi +
                  kXsd + "/></s:Envelope>\r\n\r\n",
              anonymous.BuildEnvelope(empty));
    EXPECT_FALSE(COnvifClient(DEVICE_INFO()).Initialize("Digest", ""));
}

TEST(OnvifEnvelope, UsernameTokenMatchesAnIndependentDigest)
{
    const SYSTEMTIME now{2026, 12, 0, 6, 10, 5, 9, 123};
    SoapRequest request("/p");
    ASSERT_TRUE(COnvifClient::CreateUsernameToken(request, "pa ss&word", false, now));
    EXPECT_EQ("2026-12-06T10:05:09Z", request.created);
    std::vector<uint8_t> nonceBytes;
    ASSERT_TRUE(Base64Decode(request.nonce, nonceBytes));
    const std::string nonceText(nonceBytes.begin(), nonceBytes.end());
    EXPECT_GE(nonceText.size(), 16u);
    EXPECT_EQ(std::string::npos, nonceText.find_first_of("'\\\" "));

    const std::string command =
        "printf '%s' '" + nonceText + request.created + "pa ss&word' | openssl dgst -sha1 -binary | base64";
    EXPECT_EQ(request.passwordDigest + "\n", RunCommand(command));

    // The same millisecond still gives a new nonce.
    EXPECT_NE(COnvifClient::CreateNonce(now), COnvifClient::CreateNonce(now));

    SoapRequest plain("/p");
    plain.nonce = "stale";
    ASSERT_TRUE(COnvifClient::CreateUsernameToken(plain, "pw", true, now));
    EXPECT_EQ("", plain.passwordDigest + plain.nonce + plain.created);
}

TEST(OnvifExchange, FaultsAndStatuses)
{
    std::string next;
    LoopbackHttpServer server([&](const RecordedRequest&) { return next; });
    COnvifClient client(Device(server.Port()));
    ASSERT_TRUE(client.Initialize("Digest", ""));
    DeviceInformation info;

    next = HttpAnswer(500, Fault("<env:Subcode><env:Value>ter:InvalidArgVal</env:Value><env:Subcode><env:Value>"
                                 "ter:NoProfile</env:Value></env:Subcode></env:Subcode>",
                                 "No such profile"));
    EXPECT_FALSE(client.GetDeviceInformation(info));
    EXPECT_EQ("env:Sender 500", client.GetLastFault().code + " " + std::to_string(client.GetLastFault().httpStatus));
    EXPECT_EQ("", client.GetLastFault().FindAuthenticationFault());
    EXPECT_EQ(". Reason: No such profile (code: ter:InvalidArgVal > ter:NoProfile)",
              client.GetLastFault().GetErrorText(". "));

    next = HttpAnswer(401, "");
    EXPECT_FALSE(client.GetDeviceInformation(info));
    EXPECT_EQ(". HTTP status code: 401", client.GetLastFault().GetErrorText(". "));

    // Empty, not XML, or XML with a DTD: the answer is not used.
    for (const char* body : {"", "<a>", "<!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><e>&x;</e>"}) {
        next = HttpAnswer(200, body);
        EXPECT_FALSE(client.GetDeviceInformation(info)) << body;
        EXPECT_EQ("", client.GetLastFault().GetErrorText(". "));
    }
    EXPECT_EQ("Digest", client.GetAuthenticationType());

    // Capabilities without a media service: no media path is taken from them.
    next = HttpAnswer(200, "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>"
                           "<GetCapabilitiesResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\"><Capabilities>"
                           "<Device xmlns=\"http://www.onvif.org/ver10/schema\"><XAddr>http://10.0.0.1</XAddr>"
                           "</Device></Capabilities></GetCapabilitiesResponse></e:Body></e:Envelope>");
    DeviceCapabilities capabilities;
    EXPECT_FALSE(client.GetCapabilities(capabilities));
    EXPECT_EQ("", capabilities.devicePath + client.GetServiceAddresses().mediaPath);  // a host without a path
    EXPECT_EQ("/a?b", COnvifClient::XAddrToPath("https://h:1/a?b"));

    COnvifClient unreachable(Device(LoopbackHttpServer([](const RecordedRequest&) { return ""; }).Port()));  // now free
    ASSERT_TRUE(unreachable.Initialize("", ""));
    EXPECT_FALSE(unreachable.GetDeviceInformation(info));
    EXPECT_EQ(". Device is not accessible (12029)", unreachable.GetLastFault().GetErrorText(". "));

    SoapFault fault;
    fault.subcodes = {"ter:InvalidArgVal", "x:NotAuthorizedAtAll"};
    EXPECT_EQ(". Error code: ter:InvalidArgVal > x:NotAuthorizedAtAll", fault.GetErrorText(". "));
    EXPECT_EQ("x:NotAuthorizedAtAll", fault.FindAuthenticationFault());
    fault.subcodes = {"wsse:FailedAuthentication"};
    EXPECT_EQ("wsse:FailedAuthentication", fault.FindAuthenticationFault());
}

TEST(OnvifExchange, RefusedDigestFallsBackToPlainOnce)
{
    std::atomic<bool> plainAccepted{true};
    const auto camera = Camera("ours");
    LoopbackHttpServer server([&](const RecordedRequest& request) {
        const bool digest = request.body.find("#PasswordDigest") != std::string::npos;
        return digest || !plainAccepted ? kNotAuthorized : camera(request);
    });
    COnvifClient client(Device(server.Port()));
    ASSERT_TRUE(client.Initialize("Digest", ""));
    DeviceInformation info;
    ASSERT_TRUE(client.GetDeviceInformation(info));
    EXPECT_EQ("Basic", client.GetAuthenticationType());
    // Between the two, the device's clock is asked without a token (this one gives no usable answer).
    auto requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("GetSystemDateAndTime", OperationOf(requests[1].body));
    EXPECT_EQ(std::string::npos, requests[1].body.find("<s:Header>"));
    EXPECT_NE(std::string::npos, requests[2].body.find("<wsse:Password>secret</wsse:Password>"));
    EXPECT_EQ("", requests[0].Header("Authorization"));  // HTTP never authenticates SOAP requests

    ASSERT_TRUE(client.GetDeviceInformation(info));
    EXPECT_EQ(4u, server.Requests().size());

    // When the plain password is refused as well, that fault is the one reported.
    plainAccepted = false;
    COnvifClient refused(Device(server.Port()));
    ASSERT_TRUE(refused.Initialize("Digest", ""));
    EXPECT_FALSE(refused.GetDeviceInformation(info));
    EXPECT_EQ(7u, server.Requests().size());
    EXPECT_EQ("ter:NotAuthorized", refused.GetLastFault().FindAuthenticationFault());
    EXPECT_EQ(". Wrong user name or password", refused.GetLastFault().GetAuthenticationText(". "));
}

// The password never leaves in clear: not as PasswordText without plain-text passwords (even
// when the setting asks for it), and never in answer to an HTTP Basic challenge.
TEST(OnvifExchange, PasswordIsWithheldFromPlainTextAndBasic)
{
    std::atomic<bool> basicOnly{false};
    LoopbackHttpServer server([&](const RecordedRequest&) {
        return basicOnly ? HttpAnswer(401, "no", "WWW-Authenticate: Basic realm=\"cam\"\r\n") : kNotAuthorized;
    });
    DEVICE_INFO device = Device(server.Port());
    device.neverPlaintextPassword = true;
    COnvifClient client(device);
    ASSERT_TRUE(client.Initialize("Basic", ""));
    DeviceInformation info;
    EXPECT_FALSE(client.GetDeviceInformation(info));
    EXPECT_EQ("Digest", client.GetAuthenticationType());
    EXPECT_EQ(". The device refused the password digest; the plain-text password is not sent "
              "(HARNOQUISTEL_PLAINTEXT_PASSWORD=never)",
              client.GetLastFault().GetAuthenticationText(". "));

    basicOnly = true;
    COnvifClient basic(Device(server.Port()));
    ASSERT_TRUE(basic.Initialize("Digest", ""));
    EXPECT_FALSE(basic.GetDeviceInformation(info));
    EXPECT_EQ(". The device offers only HTTP Basic authentication, which would send the password in clear; it "
              "was not sent",
              basic.GetLastFault().GetAuthenticationText(". "));
    for (const RecordedRequest& request : server.Requests()) {
        EXPECT_EQ(std::string::npos, request.body.find("<wsse:Password>")) << request.body;
        EXPECT_EQ("", request.Header("Authorization"));
    }
}

// Against the simulated camera, whose clock runs an hour ahead of ours and that refuses a
// digest whose Created is more than 30 s off its clock. (The note on the offset, said once
// per device, is the command line tests' to prove.)
TEST(OnvifExchange, DigestMadeAgainOnTheDeviceClock)
{
    sim::SimulatorOptions options = FreePortOptions();
    options.password = "secret";
    options.faults = {*sim::ParseFault("clock=3600:30")};
    sim::Simulator camera(options);
    ASSERT_TRUE(camera.Start());
    const uint16_t port = camera.Ports().http;
    DeviceInformation info;
    for (const char* password : {"secret", "secret", "wrong"}) {
        COnvifClient client(Device(port, "admin", password));
        ASSERT_TRUE(client.Initialize("Digest", ""));
        EXPECT_EQ(password[0] == 's', client.GetDeviceInformation(info)) << password;
        if (password[0] == 'w')
            EXPECT_EQ(". The device's clock differs from ours by 3600 seconds and it refused requests adjusted "
                      "to its clock",
                      client.GetLastFault().GetAuthenticationText(". "));
        else
            EXPECT_EQ("Digest", client.GetAuthenticationType());
    }
    // The offset is the device's, so the second client asks once; a wrong password is refused
    // on the device's clock before the design's plain fallback.
    const auto requests = camera.OnvifRequests();
    ASSERT_EQ(7u, requests.size());
    for (std::size_t i : {1u, 5u})
        EXPECT_EQ("GetSystemDateAndTime", requests[i].operation);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(std::string::npos, requests[i].body.find("<wsse:Password>")) << i;
}

TEST(OnvifOperations, RequestBodies)
{
    LoopbackHttpServer server(Camera("ours"));
    COnvifClient client(Device(server.Port(), "", ""));
    ASSERT_TRUE(client.Initialize("Basic", ""));
    ASSERT_TRUE(client.SetServiceAddresses(MediaPaths()));
    // Missing tokens or names send nothing.
    std::string token;
    Onvif::VideoEncoderConfiguration config("VEC1"), none;
    EXPECT_FALSE(client.CreateProfile("", token) || client.AddVideoSourceConfiguration("P1", "") ||
                 client.DeleteProfile("") || client.GetVideoEncoderConfiguration("", none));

    MediaUri uri;
    StreamUriRequest streamRequest;
    streamRequest.profileToken = "P<1>";
    ASSERT_TRUE(client.GetStreamUri(streamRequest, uri));
    ASSERT_TRUE(client.CreateProfile("Velkora_VSC1_Live", token));
    ASSERT_TRUE(client.SetVideoEncoderConfiguration(config));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    ASSERT_TRUE(client.RemoveVideoEncoderConfiguration("P1"));

    const auto requests = server.Requests();
    ASSERT_EQ(5u, requests.size());
    auto body = [&](std::size_t i) {
        const std::string& text = requests[i].body;
        const std::size_t start = text.find('>', text.find("<s:Body")) + 1;
        return text.substr(start, text.rfind("</s:Body>") - start);
    };
    const std::string media = "http://www.onvif.org/ver10/media/wsdl";
    const std::string schema = "http://www.onvif.org/ver10/schema";
    EXPECT_EQ("<GetStreamUri xmlns=\"" + media + "\"><StreamSetup><Stream xmlns=\"" + schema +
                  "\">RTP-Unicast</Stream><Transport xmlns=\"" + schema +
                  "\"><Protocol>UDP</Protocol></Transport></StreamSetup><ProfileToken>P&lt;1&gt;</ProfileToken>"
                  "</GetStreamUri>",
              body(0));
    EXPECT_EQ("<CreateProfile xmlns=\"" + media + "\"><Name>Velkora_VSC1_Live</Name></CreateProfile>", body(1));
    EXPECT_EQ("<SetVideoEncoderConfiguration xmlns=\"" + media + "\" xmlns:tt=\"" + schema + "\">" + config.ToXml() +
                  "<ForcePersistence>true</ForcePersistence></SetVideoEncoderConfiguration>",
              body(2));
    EXPECT_EQ("<trt:GetProfiles xmlns:trt=\"" + media + "\" xmlns:tt=\"" + schema + "\"/>", body(3));
    EXPECT_EQ("<trt:RemoveVideoEncoderConfiguration xmlns:trt=\"" + media + "\" xmlns:tt=\"" + schema +
                  "\"><trt:ProfileToken>P1</trt:ProfileToken></trt:RemoveVideoEncoderConfiguration>",
              body(4));
    EXPECT_EQ(0u, requests[0].head.find("POST /onvif/media HTTP/1.1"));
    EXPECT_EQ("application/soap+xml; charset=utf-8", requests[0].Header("Content-Type"));
}

TEST(OnvifOperations, LearnsNamespacesFromAnswers)
{
    LoopbackHttpServer server([](const RecordedRequest&) {
        return HttpAnswer(200,
                          "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tt=\"urn:vendor\" "
                          "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><s:Body>"
                          "<tds:GetDeviceInformationResponse><tds:Model>M</tds:Model>"
                          "</tds:GetDeviceInformationResponse></s:Body></s:Envelope>");
    });
    COnvifClient client(Device(server.Port()));
    ASSERT_TRUE(client.Initialize("Digest", "tds=http://www.onvif.org/ver10/device/wsdl"));
    DeviceInformation info;
    ASSERT_TRUE(client.GetDeviceInformation(info));
    EXPECT_EQ("M tt=urn:vendor", info.model + " " + client.GetCustomNamespaces());
    ASSERT_TRUE(client.SetServiceAddresses(MediaPaths()));
    std::vector<Onvif::MediaProfile> profiles;
    client.GetProfiles(profiles);
    EXPECT_NE(std::string::npos, server.Requests().back().body.find("xmlns:tt=\"urn:vendor\""));
}

class AnswerStyles : public ::testing::TestWithParam<const char*>
{};

// Devices write their answers with all sorts of prefixes, default namespaces,
// blanks and comments; each must read exactly like ours.
TEST_P(AnswerStyles, EveryReadingOperation)
{
    LoopbackHttpServer server(Camera(GetParam()));
    COnvifClient client(Device(server.Port()));
    ASSERT_TRUE(client.Initialize("Digest", ""));

    DeviceCapabilities caps;
    ASSERT_TRUE(client.GetCapabilities(caps));
    EXPECT_EQ("/onvif/device_service /onvif/media /onvif/events",
              caps.devicePath + " " + caps.mediaPath + " " + caps.eventsPath);
    EXPECT_TRUE(caps.pullPointSupport && caps.inputConnectors == 2 && caps.relayOutputs == 1);  // "TRUE" reads true

    DeviceInformation info;
    ASSERT_TRUE(client.GetDeviceInformation(info));
    EXPECT_EQ("Verint|S5020 & Co|1.2.3", info.manufacturer + "|" + info.model + "|" + info.firmwareVersion);

    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    ASSERT_EQ(2u, profiles.size());  // the one without a video source is dropped
    const Onvif::MediaProfile& main = profiles[0];
    EXPECT_TRUE(main.IsComplete());
    EXPECT_EQ("P1 Main VS1 VEC1 PTZ1 -1", main.token + " " + main.name + " " +
                                              main.videoSourceConfiguration.sourceToken + " " +
                                              main.videoEncoderConfiguration.token + " " + main.ptzConfiguration.token +
                                              " " + main.ptzConfiguration.useCount);
    EXPECT_EQ(std::numeric_limits<float>::lowest(), profiles[0].ptzConfiguration.defaultPTZSpeed.tilt);
    EXPECT_EQ("Velkora_VSC1_Live|", profiles[1].name + "|" + profiles[1].ptzConfiguration.token);

    std::vector<Onvif::VideoSourceConfiguration> sources;
    ASSERT_TRUE(client.GetVideoSourceConfigurations(sources));
    ASSERT_EQ(2u, sources.size());
    EXPECT_EQ("VSC2 1280", sources[1].token + " " + std::to_string(sources[1].boundsWidth));

    std::vector<Onvif::VideoEncoderConfiguration> encoders;
    ASSERT_TRUE(client.GetVideoEncoderConfigurations(encoders));
    ASSERT_EQ(2u, encoders.size());
    EXPECT_TRUE(encoders[1].encoding == "JPEG" && encoders[1].quality == 70.0f && encoders[0].bitrateLimit == 4096);
    EXPECT_EQ("239.0.0.1 Main", encoders[0].multicast.address + " " + encoders[0].h264.profile);

    ASSERT_TRUE(client.GetCompatibleVideoEncoderConfigurations("P1", encoders));
    ASSERT_EQ(1u, encoders.size());
    EXPECT_EQ("VEC1", encoders[0].token);

    Onvif::VideoEncoderConfiguration encoder;
    ASSERT_TRUE(client.GetVideoEncoderConfiguration("VEC1", encoder));
    EXPECT_TRUE(encoder.width == 1920 && encoder.quality == 4.5f);

    EncoderOptions options;
    ASSERT_TRUE(client.GetVideoEncoderConfigurationOptions("VEC1", options));
    EXPECT_TRUE(options.qualityMin == 1 && options.qualityMax == 10);
    ASSERT_EQ(1u, options.codecs.size());  // JPEG lists only height 0
    const CodecOptions& h264 = options.codecs[0];
    EXPECT_TRUE(h264.codec == uint32_t(OnvifCodecH264) && h264.configurationToken == "VEC1");
    EXPECT_EQ((std::set<Resolution>{{640, 360}, {640, 480}, {1280, 720}}), h264.resolutions);
    EXPECT_EQ((std::vector<std::string>{"Baseline", "Main"}), h264.profiles);
    EXPECT_TRUE(h264.bitrateMin == 64 && h264.bitrateMax == 8192);
    EXPECT_EQ((std::set<uint32_t>{8, 13, 25}), h264.AvailableFrameRates());
    EXPECT_TRUE(options.OptionsForCodec(OnvifCodecJpeg).empty());

    std::string token;
    ASSERT_TRUE(client.CreateProfile("Velkora_VSC1_Live", token));
    EXPECT_EQ("NEW1", token);

    StreamUriRequest streamRequest;
    streamRequest.profileToken = "P1";
    MediaUri uri;
    ASSERT_TRUE(client.GetStreamUri(streamRequest, uri));
    EXPECT_EQ("rtsp://192.168.0.10:8554/stream1?a=1&b=2 PT60S", uri.uri + " " + uri.timeout);

    // Foreign prefixes bound to our URIs are learnt but change nothing we export.
    EXPECT_EQ("", client.GetCustomNamespaces());
}

INSTANTIATE_TEST_SUITE_P(Devices, AnswerStyles, ::testing::Values("ours", "foreign"),
                         [](const auto& info) { return std::string(info.param); });

TEST(CodecOptionsRates, BoundedWhateverTheDeviceSays)
{
    CodecOptions options;
    EXPECT_TRUE(options.AvailableFrameRates().empty());
    options.frameRateMin = options.frameRateMax = 25;
    options.encodingIntervalMax = 4000000000u;
    // The interval loop stops where every rate rounds to 0.
    EXPECT_EQ(1u, *options.AvailableFrameRates().begin());
    options.frameRateMin = 0;
    options.frameRateMax = 4000000000u;
    EXPECT_EQ(1000u, options.AvailableFrameRates().size());
}
