#include "sim/OnvifService.h"
#include "sim/PtzMotion.h"
#include "sim/PtzService.h"
#include "sim/SoapRequest.h"
#include "sim/SoapWriter.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

using namespace std::chrono_literals;

struct FakeClock {
    PtzMotion::Clock::time_point now{};
    std::function<PtzMotion::Clock::time_point()> Function()
    {
        return [this] { return now; };
    }
};

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

const char* kToken = "<wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
                     "oasis-200401-wss-wssecurity-secext-1.0.xsd\"><wsse:UsernameToken><wsse:Username>admin"
                     "</wsse:Username><wsse:Password>admin</wsse:Password></wsse:UsernameToken></wsse:Security>";

// The ONVIF services with the CGI on the same heads.
struct Camera {
    Camera()
        : heads(1, clock.Function()), onvif(model, faults, log, stop, Settings()),
          cgi(heads, "admin", "admin", faults, log, stop)
    {
        onvif.SetPtzHeads(&heads);
    }
    static OnvifSettings Settings()
    {
        OnvifSettings s;
        s.user = s.password = "admin";
        return s;
    }
    std::pair<int, std::string> Call(const char* service, const std::string& op, const std::string& inner = "")
    {
        const std::string path = std::string("/onvif/") + service + "_service";
        const std::string ns = std::string(service) == "ptz"     ? kPtzNs
                               : std::string(service) == "media" ? kMediaNs
                                                                 : kDeviceNs;
        const auto a = onvif.Handle(path,
                                    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header>" +
                                        std::string(kToken) + "</s:Header><s:Body><" + op + " xmlns=\"" + ns + "\">" +
                                        inner + "</" + op + "></s:Body></s:Envelope>",
                                    "127.0.0.1");
        return {a.status, a.body};
    }
    FakeClock clock;
    DeviceModel model{1, 2, {{640, 480}, {1280, 720}}};
    PtzMotion heads;
    FaultSet faults;
    RequestLog log;
    StopSignal stop;
    OnvifService onvif;
    PtzService cgi;
};

bool Has(const std::pair<int, std::string>& answer, int status, const std::string& text)
{
    return answer.first == status && answer.second.find(text) != std::string::npos;
}

TEST(OnvifPtz, OnePositionForBothControlPaths)
{
    Camera c;
    const std::string profile = "<ProfileToken>Profile_1_2</ProfileToken>";
    EXPECT_EQ(c.cgi.Handle("/cgi-bin/run?ptz.cgi%20pan%20-50", "Basic YWRtaW46YWRtaW4=").status, 200);
    c.clock.now += 1s;
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:PanTilt x=\"-0.5\" y=\"0\""));
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:PanTilt>MOVING</tt:PanTilt>"));
    EXPECT_TRUE(
        Has(c.Call("ptz", "ContinuousMove",
                   profile + "<Velocity><PanTilt x=\"0.5\" y=\"0.25\" xmlns=\"http://www.onvif.org/ver10/schema\"/>"
                             "</Velocity><Timeout>PT1S</Timeout>"),
            200, "<tptz:ContinuousMoveResponse"));
    EXPECT_EQ(c.cgi.Head(1).pan, 50) << "the CGI's view of the same head";
    c.clock.now += 2s;
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:PanTilt x=\"0\" y=\"0.25\""));
    EXPECT_EQ(c.cgi.Head(1).pan, 0);
    EXPECT_TRUE(Has(c.Call("ptz", "SetPreset", profile + "<PresetName>door</PresetName>"), 200,
                    "<tptz:PresetToken>Preset_1</tptz:PresetToken>"));
    EXPECT_TRUE(Has(c.Call("ptz", "RelativeMove",
                           profile + "<Translation><Zoom x=\"0.5\"/></Translation><Speed><Zoom x=\"0.25\"/></Speed>"),
                    200, "RelativeMoveResponse"));
    c.clock.now += 1s;
    EXPECT_TRUE(Has(c.Call("ptz", "GetStatus", profile), 200, "<tt:Zoom x=\"0.25\""));
    EXPECT_TRUE(Has(c.Call("ptz", "GetPresets", profile), 200, "<tt:Name>door</tt:Name><tt:PTZPosition>"));
}

TEST(OnvifPtz, AnswersAreWellFormedAndRefusalsNamed)
{
    Camera c;
    const std::string p = "<ProfileToken>Profile_1_1</ProfileToken>";
    const std::string tt = " xmlns=\"http://www.onvif.org/ver10/schema\"";
    struct Case {
        const char* service;
        std::string op, inner;
        int status;
        std::string expected;
    } cases[] = {
        {"device", "GetServices", "<IncludeCapability>true</IncludeCapability>", 200, "StatusPosition=\"true\""},
        {"device", "GetScopes", "", 200, "onvif://www.onvif.org/type/ptz"},
        {"device", "GetNetworkInterfaces", "", 200, "<tt:Address>127.0.0.1</tt:Address>"},
        {"media", "GetVideoSources", "", 200, "<tt:Width>1280</tt:Width>"},
        {"media", "GetSnapshotUri", p, 200, "/onvif/snapshot/Profile_1_1</tt:Uri>"},
        {"media", "GetGuaranteedNumberOfVideoEncoderInstances",
         "<ConfigurationToken>VideoSourceConfig_1</ConfigurationToken>", 200, "<trt:TotalNumber>2</trt:TotalNumber>"},
        {"media", "GetProfile", "<ProfileToken>Nope</ProfileToken>", 400, "ter:NoProfile"},
        {"ptz", "GetNodes", "", 200, "<tt:MaximumNumberOfPresets>32</tt:MaximumNumberOfPresets>"},
        {"ptz", "GetConfiguration", "<PTZConfigurationToken>PTZConfig_2</PTZConfigurationToken>", 400, "ter:NoConfig"},
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
