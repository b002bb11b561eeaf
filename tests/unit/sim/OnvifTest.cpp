#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/OnvifService.h"
#include "sim/PtzService.h"
#include "sim/RequestLog.h"
#include "sim/SoapRequest.h"
#include "sim/WsSecurity.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

const std::vector<std::pair<unsigned, unsigned>> kSizes{{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

std::string Envelope(const std::string& security, const std::string& body)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header>" + security +
           "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

// The ONVIF Core document's worked example token: user admin, password "userpassword".
const std::string kToken =
    "<wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\">"
    "<wsse:UsernameToken><wsse:Username>admin</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/"
    "01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">tuOSpGlFlIXsozq4HFNeeGeFLEI=</wsse:Password>"
    "<wsse:Nonce>LKqI6G/AikKCQrN0zqZFlg==</wsse:Nonce><wsse:Created>2010-09-16T07:50:45Z</wsse:Created>"
    "</wsse:UsernameToken></wsse:Security>";

TEST(WsSecurity, VerifiesDigestTextAndRefusesTheRest)
{
    // The worked example's nonce is LKqI6G/AikKCQrN0zqZFlg== decoded.
    const std::string nonce("\x2c\xaa\x88\xe8\x6f\xc0\x8a\x42\x82\x42\xb3\x74\xce\xa6\x45\x96", 16);
    EXPECT_EQ(PasswordDigest(nonce, "2010-09-16T07:50:45Z", "userpassword"), "tuOSpGlFlIXsozq4HFNeeGeFLEI=");
    auto check = [](const std::string& token) {
        auto r = SoapRequest::Parse(Envelope(token, "<GetProfiles xmlns=\"urn:x\"/>"), nullptr, nullptr);
        return VerifyUsernameToken(r->Security(), "admin", "userpassword");
    };
    auto replaced = [](const std::string& from, const std::string& to) {
        return std::string(kToken).replace(kToken.find(from), from.size(), to);
    };
    EXPECT_EQ(check(kToken), TokenCheck::Accepted);
    EXPECT_EQ(check(replaced("LEI=", "LEJ=")), TokenCheck::Refused);
    EXPECT_EQ(check(replaced("#PasswordDigest\">tuOSpGlFlIXsozq4HFNeeGeFLEI=", "#PasswordText\">userpassword")),
              TokenCheck::Accepted);
    EXPECT_EQ(check(replaced("#PasswordDigest", "#Kerberos")), TokenCheck::Refused);
    EXPECT_EQ(check(""), TokenCheck::Missing);
}

TEST(SoapRequestParser, RefusesDocumentTypesAndOtherSoapVersions)
{
    std::string error;
    bool mismatch = false;
    const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                            Envelope("", "<GetProfiles xmlns=\"urn:x\">&x;</GetProfiles>");
    EXPECT_FALSE(SoapRequest::Parse(xxe, &error, &mismatch));
    EXPECT_FALSE(
        SoapRequest::Parse("<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><A/></Body></Envelope>",
                           &error, &mismatch));
    EXPECT_TRUE(mismatch);
    EXPECT_FALSE(
        SoapRequest::Parse("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"/>", &error, &mismatch));
    EXPECT_FALSE(SoapRequest::Parse("not xml", &error, &mismatch));
}

// What the library never asks: refusals, faults, escaping and the fault knobs (the
// operations it does use are exercised by its own integration tests).
struct Services {
    explicit Services(bool authFailureAs401 = false, std::string rtspUri = "")
        : onvif(model, faults, log, stop, Settings(authFailureAs401, std::move(rtspUri))),
          ptz(2, "admin", "admin", faults, log, stop)
    {
    }
    static OnvifSettings Settings(bool authFailureAs401, std::string rtspUri)
    {
        OnvifSettings settings;
        settings.user = "admin";
        settings.password = "userpassword";
        settings.authFailureAs401 = authFailureAs401;
        settings.rtspUri = std::move(rtspUri);
        return settings;
    }
    // An answer's status and body for `op` (an element in `ns`, with `inner`) under `token`.
    std::pair<int, std::string> Call(const std::string& op, const std::string& inner = "",
                                     const std::string& token = kToken, const char* path = "/onvif/media_service",
                                     const char* ns = "http://www.onvif.org/ver10/media/wsdl")
    {
        const auto a = onvif.Handle(
            path, Envelope(token, "<" + op + " xmlns=\"" + ns + "\">" + inner + "</" + op + ">"), "127.0.0.1");
        return {a.status, a.body};
    }
    DeviceModel model{1, 2, kSizes};
    FaultSet faults;
    RequestLog log;
    StopSignal stop;
    OnvifService onvif;
    PtzService ptz;
};

bool Has(const std::pair<int, std::string>& answer, int status, const std::string& text)
{
    return answer.first == status && answer.second.find(text) != std::string::npos;
}

TEST(OnvifService, RefusalsAndFaults)
{
    Services s;
    const char* device = "http://www.onvif.org/ver10/device/wsdl";
    const std::string root = std::string(kToken).replace(kToken.find(">admin<") + 1, 5, "root");
    EXPECT_TRUE(Has(s.Call("GetProfiles"), 200, "token=\"Profile_1_2\""));
    EXPECT_TRUE(Has(s.Call("GetSystemDateAndTime", "", "", "/onvif/device_service", device), 200, "UTCDateTime"))
        << "the clock is readable without a token";
    for (const auto& token : {std::string(), root})
        EXPECT_TRUE(Has(s.Call("GetProfiles", "", token), 400, "ter:NotAuthorized"));
    EXPECT_TRUE(Has(s.Call("GetDeviceInformation", "", "", "/onvif/device_service", device), 400, "ter:NotAuthorized"));
    EXPECT_TRUE(Has(s.Call("GetOSDs"), 500, "ter:ActionNotSupported"));
    EXPECT_TRUE(Has(s.Call("GetProfiles", "", kToken, "/onvif/device_service", device), 500, "ter:ActionNotSupported"))
        << "a media operation on the device service";
    EXPECT_TRUE(Has(s.Call("GetStreamUri", "<StreamSetup><Stream>RTP-Multicast</Stream></StreamSetup>"
                                           "<ProfileToken>Profile_1_1</ProfileToken>"),
                    400, "ter:InvalidStreamSetup"));
    EXPECT_TRUE(Has(s.Call("DeleteProfile", "<ProfileToken>Gone</ProfileToken>"), 400, "ter:NoProfile"));
    EXPECT_TRUE(Has(s.Call("CreateProfile", "<Name>&lt;&amp;\"</Name>"), 200, "&lt;&amp;")) << "names are escaped";
    EXPECT_EQ(s.onvif.Handle("/onvif/media_service", "<s:Envelope", "").status, 400);
    EXPECT_EQ(s.onvif.Handle("/onvif/nothing_here", Envelope(kToken, "<A/>"), "").status, 404);

    s.faults.Set({*ParseFault("onvif-401=GetProfiles*1"), *ParseFault("onvif-fault=GetStreamUri"),
                  *ParseFault("close-midway=onvif*1")});
    EXPECT_TRUE(s.onvif.Handle("/onvif/media_service", Envelope(kToken, "<A/>"), "").closeMidway);
    EXPECT_FALSE(s.onvif.Handle("/onvif/media_service", Envelope(kToken, "<A/>"), "").closeMidway);
    EXPECT_EQ(s.Call("GetProfiles").first, 401);
    EXPECT_EQ(s.Call("GetProfiles").first, 200) << "the count ran out";
    EXPECT_TRUE(Has(s.Call("GetStreamUri"), 500, "Receiver"));

    Services other(true, "rtsp://10.1.2.3:554/live&main");
    EXPECT_EQ(other.Call("GetProfiles", "", root).first, 401);
    EXPECT_TRUE(Has(other.Call("GetStreamUri", "<StreamSetup><Stream>RTP-Unicast</Stream><Transport><Protocol>UDP"
                                               "</Protocol></Transport></StreamSetup><ProfileToken>Profile_1_1"
                                               "</ProfileToken>"),
                    200, "<tt:Uri>rtsp://10.1.2.3:554/live&amp;main</tt:Uri>"));
}

TEST(PtzService, RefusesBadCommandsAndStrangers)
{
    Services s;
    const std::string basic = "Basic YWRtaW46YWRtaW4=", run = "/cgi-bin/run?ptz.cgi%20";  // admin:admin
    for (const char* bad :
         {"pan%20101", "tilt%20-101", "zoom%20abc", "address%203", "address%200", "focus%2010", "pan", "pan%2010%2010"})
        EXPECT_EQ(s.ptz.Handle(run + bad, basic).status, 400) << bad;
    EXPECT_EQ(s.ptz.Handle("/cgi-bin/other?ptz.cgi%20pan%2010", basic).status, 404);
    EXPECT_EQ(s.ptz.Handle("/index.html", basic).status, 404);
    for (const char* stranger : {"Basic YWRtaW46d3Jvbmc=", ""})  // admin:wrong
        EXPECT_EQ(s.ptz.Handle(run + "pan%2010", stranger).status, 401);
    EXPECT_EQ(s.ptz.Head(1).commands, 0u);
    for (const char* command : {"pan%2050", "address%202", "tilt%20-25"})  // the library's tests read only the log
        EXPECT_EQ(s.ptz.Handle(run + command, basic).status, 200) << command;
    EXPECT_EQ(s.ptz.SelectedAddress(), 2u);
    EXPECT_EQ(std::make_pair(s.ptz.Head(1).pan, s.ptz.Head(2).tilt), std::make_pair(50, -25));
    s.faults.Set({*ParseFault("close-midway=ptz*1")});
    EXPECT_TRUE(s.ptz.Handle(run + "zoom%200", basic).closeMidway);
    EXPECT_FALSE(s.ptz.Handle(run + "zoom%200", basic).closeMidway);
    EXPECT_EQ(s.ptz.Head(2).commands, 3u);
}

TEST(DeviceModel, ProfilesAndBindingsPersist)
{
    DeviceModel m(2, 2, kSizes);
    OnvifError e;
    const auto token = m.CreateProfile("Velkora_VideoSourceConfig_2_Live", "", e);
    ASSERT_TRUE(token);
    EXPECT_FALSE(m.StreamEncoder(*token, e)) << "incomplete until both configurations are bound";
    EXPECT_EQ(e.subsubcode, "ter:IncompleteConfiguration");
    ASSERT_TRUE(m.AddSource(*token, "VideoSourceConfig_2", e));
    ASSERT_TRUE(m.AddEncoder(*token, "VideoEncoderConfig_2_2", e));
    EXPECT_EQ(m.StreamEncoder(*token, e)->token, "VideoEncoderConfig_2_2");
    EXPECT_EQ(m.UseCountOfEncoder("VideoEncoderConfig_2_2"), 2u);
    EXPECT_EQ(m.CompatibleEncoders(*token, e)->size(), 2u) << "only the encoders of its source";
    ASSERT_TRUE(m.RemoveEncoder(*token, e));
    EXPECT_TRUE(m.Profile(*token)->encoderConfiguration.empty());
    ASSERT_TRUE(m.RemoveSource(*token, e));
    EXPECT_TRUE(m.Profile(*token)->sourceConfiguration.empty());
    ASSERT_TRUE(m.DeleteProfile(*token, e));
    EXPECT_FALSE(m.Profile(*token));
    EXPECT_FALSE(m.DeleteProfile("Profile_1_1", e));
    EXPECT_EQ(e.subsubcode, "ter:DeletionOfFixedProfile");
    EXPECT_FALSE(m.AddEncoder("Profile_1_1", "NoSuchEncoder", e));
    EXPECT_EQ(e.subsubcode, "ter:NoConfig");
    EXPECT_FALSE(m.CreateProfile(std::string(65, 'n'), "", e));
}

TEST(DeviceModel, EncoderSettingsAreCheckedAgainstTheOptions)
{
    DeviceModel m(1, 2, kSizes);
    OnvifError e;
    auto main = *m.EncoderConfiguration("VideoEncoderConfig_1_1");
    main.width = 1920;
    main.height = 1080;
    main.frameRateLimit = 12;
    main.quality = 7.5f;
    ASSERT_TRUE(m.SetEncoder(main, e)) << e.reason;
    EXPECT_EQ(m.EncoderConfiguration(main.token)->width, 1920u);
    EXPECT_DOUBLE_EQ(m.EncoderConfiguration(main.token)->StreamFrameRate(), 12.0);
    using Change = void (*)(VideoEncoderConfiguration&);
    for (const Change change :
         std::initializer_list<Change>{[](VideoEncoderConfiguration& c) {
                                           c.width = 1024;
                                           c.height = 768;
                                       },
                                       [](VideoEncoderConfiguration& c) { c.encoding = "JPEG"; },
                                       [](VideoEncoderConfiguration& c) { c.quality = 11; },
                                       [](VideoEncoderConfiguration& c) { c.frameRateLimit = 0; },
                                       [](VideoEncoderConfiguration& c) { c.encodingInterval = 2; },
                                       [](VideoEncoderConfiguration& c) { c.bitrateLimit = 9000; },
                                       [](VideoEncoderConfiguration& c) { c.h264Profile = "Extended"; }}) {
        auto wanted = main;
        change(wanted);
        EXPECT_FALSE(m.SetEncoder(wanted, e)) << wanted.width << " " << wanted.encoding << " " << wanted.h264Profile;
        EXPECT_EQ(e.subsubcode, "ter:ConfigModify");
    }
    // The sub stream is a fixed 25 fps sensor thinned by its encoding interval.
    auto sub = *m.EncoderConfiguration("VideoEncoderConfig_1_2");
    sub.encodingInterval = 2;
    ASSERT_TRUE(m.SetEncoder(sub, e));
    EXPECT_DOUBLE_EQ(m.EncoderConfiguration(sub.token)->StreamFrameRate(), 12.5);
    sub.frameRateLimit = 30;
    EXPECT_FALSE(m.SetEncoder(sub, e));
}

}  // namespace
}  // namespace sim
