#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/OnvifService.h"
#include "sim/PtzMotion.h"
#include "sim/PtzService.h"
#include "sim/RequestLog.h"
#include "sim/SoapRequest.h"
#include "sim/SoapWriter.h"
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

// Digest sums, right and wrong, are checked where the library's client logs in.
TEST(WsSecurity, AcceptsTextAndRefusesOtherTypes)
{
    auto check = [](const std::string& token) {
        auto r = SoapRequest::Parse(Envelope(token, "<GetProfiles xmlns=\"urn:x\"/>"), nullptr, nullptr);
        return VerifyUsernameToken(r->Security(), "admin", "userpassword");
    };
    auto replaced = [](const std::string& from, const std::string& to) {
        return std::string(kToken).replace(kToken.find(from), from.size(), to);
    };
    EXPECT_EQ(check(kToken), TokenCheck::Accepted);
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

using namespace std::chrono_literals;

struct FakeClock {
    PtzMotion::Clock::time_point now{};
    std::function<PtzMotion::Clock::time_point()> Function()
    {
        return [this] { return now; };
    }
};

// What the library never asks: refusals, faults, escaping and the fault knobs (the
// operations it does use are exercised by its own integration tests). The ONVIF
// services and the CGI share two heads on a clock of the test's.
struct Services {
    explicit Services(bool authFailureAs401 = false, std::string rtspUri = "")
        : heads(2, clock.Function()), onvif(model, faults, log, stop, Settings(authFailureAs401, std::move(rtspUri))),
          ptz(heads, "admin", "admin", faults, log, stop)
    {
        onvif.SetPtzHeads(&heads);
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
    // An answer's status and body for `op` (with `inner`) on `service` ("device", "media", "ptz") under `token`.
    std::pair<int, std::string> Call(const std::string& service, const std::string& op, const std::string& inner = "",
                                     const std::string& token = kToken)
    {
        const char* ns = service == "ptz" ? kPtzNs : service == "media" ? kMediaNs : kDeviceNs;
        const auto a =
            onvif.Handle("/onvif/" + service + "_service",
                         Envelope(token, "<" + op + " xmlns=\"" + ns + "\">" + inner + "</" + op + ">"), "127.0.0.1");
        return {a.status, a.body};
    }
    FakeClock clock;
    DeviceModel model{1, 2, kSizes};
    PtzMotion heads;
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
    const std::string root = std::string(kToken).replace(kToken.find(">admin<") + 1, 5, "root");
    EXPECT_TRUE(Has(s.Call("media", "GetProfiles"), 200, "token=\"Profile_1_2\""));
    EXPECT_TRUE(Has(s.Call("device", "GetSystemDateAndTime", "", ""), 200, "UTCDateTime"))
        << "the clock is readable without a token";
    for (const auto& token : {std::string(), root})
        EXPECT_TRUE(Has(s.Call("media", "GetProfiles", "", token), 400, "ter:NotAuthorized"));
    EXPECT_TRUE(Has(s.Call("device", "GetDeviceInformation", "", ""), 400, "ter:NotAuthorized"));
    EXPECT_EQ(s.onvif.Handle("/onvif/media_service", "<s:Envelope", "").status, 400);
    EXPECT_EQ(s.onvif.Handle("/onvif/nothing_here", Envelope(kToken, "<A/>"), "").status, 404);

    s.faults.Set({*ParseFault("onvif-401=GetProfiles*1"), *ParseFault("onvif-fault=GetStreamUri")});
    EXPECT_EQ(s.Call("media", "GetProfiles").first, 401);
    EXPECT_EQ(s.Call("media", "GetProfiles").first, 200) << "the count ran out";
    EXPECT_TRUE(Has(s.Call("media", "GetStreamUri"), 500, "Receiver"));

    Services other(true, "rtsp://10.1.2.3:554/live&main");
    EXPECT_EQ(other.Call("media", "GetProfiles", "", root).first, 401);
    EXPECT_TRUE(Has(other.Call("media", "GetStreamUri",
                               "<StreamSetup><Stream>RTP-Unicast</Stream><Transport><Protocol>UDP"
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
         std::initializer_list<Change>{[](VideoEncoderConfiguration& c) { c.width = 1024, c.height = 768; },
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

TEST(PtzMotion, MovesAtTheCommandedSpeedAndStopsAtLimitsTimeoutsAndTargets)
{
    FakeClock clock;
    PtzMotion heads(2, clock.Function());
    ASSERT_TRUE(heads.Move(1, 0.5, -0.25, std::nullopt));
    clock.now += 1s;
    auto s = *heads.State(1);
    EXPECT_DOUBLE_EQ(s.position.pan, 0.5);
    EXPECT_DOUBLE_EQ(s.position.tilt, -0.25);
    EXPECT_TRUE(s.panTiltMoving);
    EXPECT_FALSE(s.zoomMoving);
    EXPECT_EQ(heads.State(2)->position.pan, 0) << "heads are independent";

    clock.now += 2s;  // pan runs into its limit; the command stands but the head is still
    s = *heads.State(1);
    EXPECT_DOUBLE_EQ(s.position.pan, 1);
    EXPECT_DOUBLE_EQ(s.speed.pan, 0.5);
    EXPECT_DOUBLE_EQ(s.position.tilt, -0.75);
    ASSERT_TRUE(heads.Halt(1, true, true));
    EXPECT_FALSE(heads.State(1)->panTiltMoving);

    ASSERT_TRUE(heads.Move(1, std::nullopt, std::nullopt, 1, 250ms));
    ASSERT_TRUE(heads.Move(1, std::nullopt, 0.0, std::nullopt));  // another axis, no timeout
    clock.now += 1s;
    s = *heads.State(1);
    EXPECT_DOUBLE_EQ(s.position.zoom, 0.25) << "the timeout ends the move";
    EXPECT_EQ(s.speed.zoom, 0);

    ASSERT_TRUE(heads.MoveTo(1, {0, 0, 0}, {0.5, 0.5, 1}));
    clock.now += 1s;
    s = *heads.State(1);
    EXPECT_DOUBLE_EQ(s.position.pan, 0.5);
    EXPECT_TRUE(s.panTiltMoving);
    clock.now += 1s;
    s = *heads.State(1);
    EXPECT_EQ(std::make_pair(s.position.pan, s.position.tilt), std::make_pair(0.0, 0.0));
    EXPECT_FALSE(s.panTiltMoving || s.zoomMoving) << "arrived";
    EXPECT_EQ(s.commands, 5u);
    EXPECT_FALSE(heads.Move(3, 1, 1, 1));
    EXPECT_FALSE(heads.State(0));
}

TEST(PtzMotion, PresetsKeepTokensAndNames)
{
    PtzMotion heads(1);
    OnvifError e;
    const auto door = heads.SetPreset(1, "", "door", e);
    ASSERT_TRUE(door);
    EXPECT_FALSE(heads.SetPreset(1, "", "door", e));
    EXPECT_EQ(e.subsubcode, "ter:PresetExist");
    EXPECT_FALSE(heads.SetPreset(1, "Preset_9", "", e));
    EXPECT_EQ(e.subsubcode, "ter:NoToken");
    EXPECT_EQ(heads.SetPreset(1, *door, "gate", e), door) << "renamed in place";
    EXPECT_EQ(heads.Presets(1)->at(0).name, "gate");
    for (std::size_t i = 1; i < PtzMotion::kMaxPresets; ++i)
        ASSERT_TRUE(heads.SetPreset(1, "", "", e));
    EXPECT_FALSE(heads.SetPreset(1, "", "", e));
    EXPECT_EQ(e.subsubcode, "ter:TooManyPresets");
    ASSERT_TRUE(heads.RemovePreset(1, *door, e));
    EXPECT_FALSE(heads.RemovePreset(1, *door, e));
    EXPECT_FALSE(heads.Preset(1, *door));
}

// A move's timeout and a relative move, which the npm client's run never sends (it shows the
// shared head, presets and stop).
TEST(OnvifPtz, TimeoutsAndRelativeMoves)
{
    Services c;
    const std::string profile = "<ProfileToken>Profile_1_2</ProfileToken>";
    EXPECT_TRUE(
        Has(c.Call("ptz", "ContinuousMove",
                   profile + "<Velocity><PanTilt x=\"0.5\" y=\"0.25\" xmlns=\"http://www.onvif.org/ver10/schema\"/>"
                             "</Velocity><Timeout>PT1S</Timeout>"),
            200, "<tptz:ContinuousMoveResponse"));
    c.clock.now += 2s;
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:PanTilt x=\"0.5\" y=\"0.25\""));
    EXPECT_TRUE(Has(c.Call("ptz", "RelativeMove",
                           profile + "<Translation><Zoom x=\"0.5\"/></Translation><Speed><Zoom x=\"0.25\"/></Speed>"),
                    200, "RelativeMoveResponse"));
    c.clock.now += 1s;
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:Zoom x=\"0.25\""));
}

TEST(OnvifService, AnswersAreWellFormedAndRefusalsNamed)
{
    Services c;
    const std::string p = "<ProfileToken>Profile_1_1</ProfileToken>";
    const std::string tt = " xmlns=\"http://www.onvif.org/ver10/schema\"";
    struct Case {
        const char* service;
        std::string op, inner;
        int status;
        std::string expected;
    } cases[] = {
        {"device", "GetServices", "<IncludeCapability>true</IncludeCapability>", 200, "StatusPosition=\"true\""},
        {"device", "GetNetworkInterfaces", "", 200, "<tt:Address>127.0.0.1</tt:Address>"},
        {"media", "GetVideoSources", "", 200, "<tt:Width>1920</tt:Width>"},
        {"media", "GetOSDs", "", 500, "ter:ActionNotSupported"},
        {"device", "GetProfiles", "", 500, "ter:ActionNotSupported"},  // a media operation
        {"media", "GetStreamUri", "<StreamSetup><Stream>RTP-Multicast</Stream></StreamSetup>" + p, 400,
         "ter:InvalidStreamSetup"},
        {"media", "DeleteProfile", "<ProfileToken>Gone</ProfileToken>", 400, "ter:NoProfile"},
        {"media", "CreateProfile", "<Name>&lt;&amp;\"</Name>", 200, "&lt;&amp;"},  // names are escaped
        {"media", "GetGuaranteedNumberOfVideoEncoderInstances",
         "<ConfigurationToken>VideoSourceConfig_1</ConfigurationToken>", 200, "<trt:TotalNumber>2</trt:TotalNumber>"},
        {"media", "GetProfile", "<ProfileToken>Nope</ProfileToken>", 400, "ter:NoProfile"},
        {"ptz", "GetNodes", "", 200, "<tt:MaximumNumberOfPresets>32</tt:MaximumNumberOfPresets>"},
        {"ptz", "GetConfiguration", "<PTZConfigurationToken>PTZConfig_3</PTZConfigurationToken>", 400, "ter:NoConfig"},
        {"ptz", "GetConfigurationOptions", "<ConfigurationToken>PTZConfig_1</ConfigurationToken>", 200, "PT10M"},
        {"ptz", "ContinuousMove", p + "<Velocity><PanTilt x=\"1.5\" y=\"0\"" + tt + "/></Velocity>", 400,
         "ter:InvalidVelocity"},
        {"ptz", "ContinuousMove", p + "<Velocity><Zoom x=\"1\" space=\"urn:other\"" + tt + "/></Velocity>", 400,
         "ter:SpaceNotSupported"},
        {"ptz", "ContinuousMove", p + "<Velocity><Zoom x=\"1\"/></Velocity><Timeout>5 s</Timeout>", 400,
         "ter:InvalidArgs"},
        {"ptz", "AbsoluteMove", p + "<Position><PanTilt x=\"nan\" y=\"0\"/></Position>", 400, "ter:InvalidPosition"},
        {"ptz", "GotoPreset", p + "<PresetToken>Preset_7</PresetToken>", 400, "ter:NoToken"},
        {"ptz", "Stop", "<ProfileToken>Nope</ProfileToken>", 400, "ter:NoProfile"},
        {"ptz", "GetPresetTours", p, 500, "ter:ActionNotSupported"},
    };
    for (const auto& k : cases) {
        const auto answer = c.Call(k.service, k.op, k.inner);
        EXPECT_TRUE(Has(answer, k.status, k.expected)) << k.op << ": " << answer.second;
        std::string error;
        EXPECT_TRUE(SoapRequest::Parse(answer.second, &error, nullptr)) << k.op << ": " << error;
    }
    EXPECT_EQ(c.heads.State(1)->commands, 0u) << "no refused move reached the head";
}

}  // namespace
}  // namespace sim
