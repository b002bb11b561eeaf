// The ONVIF PTZ service: one node and one configuration per video source, driving
// the same heads as the vendor CGI. A profile steers the head of its video source.
#include "sim/OnvifService.h"
#include "sim/OnvifXml.h"
#include "sim/SoapRequest.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace sim {

namespace {

constexpr const char* kSpaces = "http://www.onvif.org/ver10/tptz/";
constexpr const char* kPanTiltPosition = "PanTiltSpaces/PositionGenericSpace";
constexpr const char* kZoomPosition = "ZoomSpaces/PositionGenericSpace";
constexpr const char* kPanTiltTranslation = "PanTiltSpaces/TranslationGenericSpace";
constexpr const char* kZoomTranslation = "ZoomSpaces/TranslationGenericSpace";
constexpr const char* kPanTiltVelocity = "PanTiltSpaces/VelocityGenericSpace";
constexpr const char* kZoomVelocity = "ZoomSpaces/VelocityGenericSpace";
constexpr const char* kPanTiltSpeed = "PanTiltSpaces/GenericSpeedSpace";
constexpr const char* kZoomSpeed = "ZoomSpaces/ZoomGenericSpeedSpace";
constexpr double kDefaultTimeout = 10, kMinTimeout = 1, kMaxTimeout = 600;  // seconds

std::string Space(const char* space)
{
    return std::string(kSpaces) + space;
}

std::string Number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v == 0 ? 0.0 : v);  // never "-0"
    return buf;
}

std::string Space1D(const char* element, const char* space, const char* min, const char* max)
{
    return std::string("<") + element + ">" + XmlTag("tt:URI", Space(space)) + XmlRange("tt:XRange", min, max) + "</" +
           element + ">";
}

std::string Space2D(const char* element, const char* space, const char* min, const char* max)
{
    return std::string("<") + element + ">" + XmlTag("tt:URI", Space(space)) + XmlRange("tt:XRange", min, max) +
           XmlRange("tt:YRange", min, max) + "</" + element + ">";
}

std::string SpacesXml()
{
    return Space2D("tt:AbsolutePanTiltPositionSpace", kPanTiltPosition, "-1", "1") +
           Space1D("tt:AbsoluteZoomPositionSpace", kZoomPosition, "0", "1") +
           Space2D("tt:RelativePanTiltTranslationSpace", kPanTiltTranslation, "-1", "1") +
           Space1D("tt:RelativeZoomTranslationSpace", kZoomTranslation, "-1", "1") +
           Space2D("tt:ContinuousPanTiltVelocitySpace", kPanTiltVelocity, "-1", "1") +
           Space1D("tt:ContinuousZoomVelocitySpace", kZoomVelocity, "-1", "1") +
           Space1D("tt:PanTiltSpeedSpace", kPanTiltSpeed, "0", "1") +
           Space1D("tt:ZoomSpeedSpace", kZoomSpeed, "0", "1");
}

std::string PositionXml(const char* element, const PtzVector& p)
{
    return std::string("<") + element + "><tt:PanTilt x=\"" + Number(p.pan) + "\" y=\"" + Number(p.tilt) +
           "\" space=\"" + Space(kPanTiltPosition) + "\"/><tt:Zoom x=\"" + Number(p.zoom) + "\" space=\"" +
           Space(kZoomPosition) + "\"/></" + element + ">";
}

std::optional<double> ParseNumber(const std::optional<std::string>& text)
{
    if (!text || text->empty() || text->size() > 32)
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text->c_str(), &end);
    if (end != text->c_str() + text->size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// An xs:duration of days, hours, minutes and seconds ("PT5S", "PT1M30.5S"), in seconds.
std::optional<double> ParseDuration(const std::string& text)
{
    if (text.size() < 3 || text.size() > 32 || text[0] != 'P')
        return std::nullopt;
    double total = 0;
    bool time = false, any = false;
    for (std::size_t i = 1; i < text.size();) {
        if (text[i] == 'T' && !time) {
            time = true;
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
            ++i;
        if (i == start || i == text.size())
            return std::nullopt;
        const auto value = ParseNumber(text.substr(start, i - start));
        if (!value)
            return std::nullopt;
        const char unit = text[i++];
        const double scale = unit == 'D' && !time  ? 86400
                             : unit == 'H' && time ? 3600
                             : unit == 'M' && time ? 60
                             : unit == 'S' && time ? 1
                                                   : -1;
        if (scale < 0)
            return std::nullopt;
        total += *value * scale;
        any = true;
    }
    return any ? std::optional<double>(total) : std::nullopt;
}

// The x (and y) of a PanTilt or Zoom vector element; nullopt when absent, error when malformed or out of range.
struct Axes {
    std::optional<double> x, y;
    bool present = false, bad = false, badSpace = false;
};

Axes ReadAxes(const xmlNode* parent, const char* element, bool twoD, double low, double high,
              std::initializer_list<const char*> spaces)
{
    Axes a;
    const xmlNode* n = FindChild(parent, element);
    if (!n)
        return a;
    a.present = true;
    if (const auto space = Attribute(n, "space");
        space && std::none_of(spaces.begin(), spaces.end(), [&](const char* s) { return *space == Space(s); }))
        a.badSpace = true;
    auto read = [&](const char* name, std::optional<double>& out) {
        const auto text = Attribute(n, name);
        if (!text)
            return;
        out = ParseNumber(text);
        if (!out || *out < low || *out > high)
            a.bad = true;
    };
    read("x", a.x);
    if (twoD)
        read("y", a.y);
    return a;
}

}  // namespace

std::string OnvifService::PtzOperation(const std::string& op, const xmlNode* request, OnvifError& error)
{
    const std::string tptz = std::string(" xmlns:tptz=\"") + kPtzNs + "\"";
    auto fail = [&](const char* subsub, const std::string& reason) {
        error = {"Sender", "ter:InvalidArgVal", subsub, reason};
        return std::string();
    };
    auto answer = [&](const std::string& inner) {
        return inner.empty() ? "<tptz:" + op + "Response" + tptz + "/>"
                             : "<tptz:" + op + "Response" + tptz + ">" + inner + "</tptz:" + op + "Response>";
    };
    const std::vector<VideoSourceConfiguration> sources = model_.SourceConfigurations();
    const unsigned heads = std::min<unsigned>(heads_->Heads(), static_cast<unsigned>(sources.size()));
    auto node = [&](unsigned i) {
        const std::string token = "PTZNode_" + std::to_string(i);
        return "<tptz:PTZNode token=\"" + token + "\" FixedHomePosition=\"false\">" + XmlTag("tt:Name", token) +
               "<tt:SupportedPTZSpaces>" + SpacesXml() + "</tt:SupportedPTZSpaces>" +
               XmlTag("tt:MaximumNumberOfPresets", static_cast<long>(PtzMotion::kMaxPresets)) +
               "<tt:HomeSupported>false</tt:HomeSupported></tptz:PTZNode>";
    };
    auto configuration = [&](unsigned i, const char* element) {
        const std::string token = "PTZConfig_" + std::to_string(i);
        return std::string("<") + element + " token=\"" + token + "\">" + XmlTag("tt:Name", token) +
               "<tt:UseCount>0</tt:UseCount>" + XmlTag("tt:NodeToken", "PTZNode_" + std::to_string(i)) +
               XmlTag("tt:DefaultAbsolutePantTiltPositionSpace", Space(kPanTiltPosition)) +
               XmlTag("tt:DefaultAbsoluteZoomPositionSpace", Space(kZoomPosition)) +
               XmlTag("tt:DefaultRelativePanTiltTranslationSpace", Space(kPanTiltTranslation)) +
               XmlTag("tt:DefaultRelativeZoomTranslationSpace", Space(kZoomTranslation)) +
               XmlTag("tt:DefaultContinuousPanTiltVelocitySpace", Space(kPanTiltVelocity)) +
               XmlTag("tt:DefaultContinuousZoomVelocitySpace", Space(kZoomVelocity)) +
               "<tt:DefaultPTZSpeed><tt:PanTilt x=\"1\" y=\"1\" space=\"" + Space(kPanTiltSpeed) +
               "\"/><tt:Zoom x=\"1\" space=\"" + Space(kZoomSpeed) + "\"/></tt:DefaultPTZSpeed>" +
               "<tt:DefaultPTZTimeout>PT10S</tt:DefaultPTZTimeout><tt:PanTiltLimits>" +
               Space2D("tt:Range", kPanTiltPosition, "-1", "1") + "</tt:PanTiltLimits><tt:ZoomLimits>" +
               Space1D("tt:Range", kZoomPosition, "0", "1") + "</tt:ZoomLimits></" + element + ">";
    };
    // "PTZNode_3" or "PTZConfig_3" names head 3.
    auto indexOf = [&](const std::string& token, const std::string& prefix) -> unsigned {
        if (token.compare(0, prefix.size(), prefix) != 0 || token.size() > prefix.size() + 2)
            return 0;
        const std::string digits = token.substr(prefix.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0')
            return 0;
        const unsigned i = static_cast<unsigned>(std::atoi(digits.c_str()));
        return i <= heads ? i : 0;
    };

    if (op == "GetServiceCapabilities")
        return answer(ServiceCapabilitiesXml(kPtzNs));
    if (op == "GetNodes" || op == "GetConfigurations") {
        std::string xml;
        for (unsigned i = 1; i <= heads; ++i)
            xml += op == "GetNodes" ? node(i) : configuration(i, "tptz:PTZConfiguration");
        return answer(xml);
    }
    if (op == "GetNode") {
        const unsigned i = indexOf(PathText(request, "NodeToken"), "PTZNode_");
        return i ? answer(node(i)) : fail("ter:NoEntity", "No PTZ node has this token");
    }
    if (op == "GetConfiguration" || op == "GetConfigurationOptions") {
        const bool options = op == "GetConfigurationOptions";
        const unsigned i =
            indexOf(PathText(request, options ? "ConfigurationToken" : "PTZConfigurationToken"), "PTZConfig_");
        if (!i)
            return fail("ter:NoConfig", "No PTZ configuration has this token");
        if (!options)
            return answer(configuration(i, "tptz:PTZConfiguration"));
        return answer("<tptz:PTZConfigurationOptions><tt:Spaces>" + SpacesXml() + "</tt:Spaces><tt:PTZTimeout>" +
                      "<tt:Min>PT1S</tt:Min><tt:Max>PT10M</tt:Max></tt:PTZTimeout></tptz:PTZConfigurationOptions>");
    }

    // The rest steer the head of a profile's video source.
    const std::string profileToken = PathText(request, "ProfileToken");
    const std::optional<MediaProfile> profile = model_.Profile(profileToken);
    if (!profile)
        return fail("ter:NoProfile", "The requested profile token does not exist");
    unsigned head = 0;
    for (unsigned i = 0; i < heads; ++i)
        if (sources[i].token == profile->sourceConfiguration)
            head = i + 1;
    const bool known = op == "GetStatus" || op == "ContinuousMove" || op == "Stop" || op == "AbsoluteMove" ||
                       op == "RelativeMove" || op == "GetPresets" || op == "SetPreset" || op == "GotoPreset" ||
                       op == "RemovePreset";
    if (!known) {
        error = OperationNotSupported(op);
        return {};
    }
    if (!head)
        return fail("ter:NoPTZProfile", "The profile has no video source and so no PTZ head");

    // Speeds given with a move, else full speed.
    bool badSpace = false;
    auto speed = [&](bool& bad) {
        PtzVector s{1, 1, 1};
        const xmlNode* given = FindChild(request, "Speed");
        const Axes pt = ReadAxes(given, "PanTilt", true, 0, 1, {kPanTiltSpeed});
        const Axes z = ReadAxes(given, "Zoom", false, 0, 1, {kZoomSpeed});
        bad = pt.bad || z.bad;
        badSpace = pt.badSpace || z.badSpace;
        s.pan = pt.x.value_or(1);
        s.tilt = pt.y.value_or(s.pan);
        s.zoom = z.x.value_or(1);
        return s;
    };

    if (op == "GetStatus") {
        const PtzHeadState s = *heads_->State(head);
        const std::time_t now = DeviceNow();
        std::tm utc{};
        gmtime_r(&now, &utc);
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
        return answer("<tptz:PTZStatus>" + PositionXml("tt:Position", s.position) + "<tt:MoveStatus><tt:PanTilt>" +
                      (s.panTiltMoving ? "MOVING" : "IDLE") + "</tt:PanTilt><tt:Zoom>" +
                      (s.zoomMoving ? "MOVING" : "IDLE") + "</tt:Zoom></tt:MoveStatus>" + XmlTag("tt:UtcTime", when) +
                      "</tptz:PTZStatus>");
    }
    if (op == "ContinuousMove") {
        const xmlNode* velocity = FindChild(request, "Velocity");
        if (!velocity)
            return fail("ter:InvalidVelocity", "The request lacks a Velocity");
        const Axes pt = ReadAxes(velocity, "PanTilt", true, -1, 1, {kPanTiltVelocity});
        const Axes z = ReadAxes(velocity, "Zoom", false, -1, 1, {kZoomVelocity});
        double timeout = kDefaultTimeout;
        if (const std::string t = PathText(request, "Timeout"); !t.empty()) {
            const auto seconds = ParseDuration(t);
            if (!seconds)
                return fail("ter:InvalidArgs", "The Timeout is not a duration");
            timeout = std::clamp(*seconds, kMinTimeout, kMaxTimeout);
        }
        if (pt.badSpace || z.badSpace)
            return fail("ter:SpaceNotSupported", "A space the node does not offer");
        if (pt.bad || z.bad)
            return fail("ter:InvalidVelocity", "A velocity is outside its space");
        // A PanTilt given moves both of its axes (an attribute left out is still).
        heads_->Move(head, pt.present ? std::optional<double>(pt.x.value_or(0)) : std::nullopt,
                     pt.present ? std::optional<double>(pt.y.value_or(0)) : std::nullopt,
                     z.present ? std::optional<double>(z.x.value_or(0)) : std::nullopt,
                     std::chrono::duration_cast<PtzMotion::Clock::duration>(std::chrono::duration<double>(timeout)));
        return answer({});
    }
    if (op == "Stop") {
        const std::string panTilt = PathText(request, "PanTilt"), zoom = PathText(request, "Zoom");
        heads_->Halt(head, panTilt != "false" && panTilt != "0", zoom != "false" && zoom != "0");
        return answer({});
    }
    if (op == "AbsoluteMove" || op == "RelativeMove") {
        const bool absolute = op == "AbsoluteMove";
        const xmlNode* where = FindChild(request, absolute ? "Position" : "Translation");
        if (!where)
            return fail(absolute ? "ter:InvalidPosition" : "ter:InvalidTranslation", "The request lacks a target");
        const Axes pt = absolute ? ReadAxes(where, "PanTilt", true, -1, 1, {kPanTiltPosition})
                                 : ReadAxes(where, "PanTilt", true, -1, 1, {kPanTiltTranslation});
        const Axes z = absolute ? ReadAxes(where, "Zoom", false, 0, 1, {kZoomPosition})
                                : ReadAxes(where, "Zoom", false, -1, 1, {kZoomTranslation});
        bool badSpeed = false;
        const PtzVector s = speed(badSpeed);
        if (pt.badSpace || z.badSpace || badSpace)
            return fail("ter:SpaceNotSupported", "A space the node does not offer");
        if (pt.bad || z.bad)
            return fail(absolute ? "ter:InvalidPosition" : "ter:InvalidTranslation",
                        "A coordinate is outside its space");
        if (badSpeed)
            return fail("ter:InvalidSpeed", "A speed is outside its space");
        const PtzVector here = heads_->State(head)->position;
        PtzVector target = here;
        if (absolute) {
            target = {pt.x.value_or(here.pan), pt.y.value_or(here.tilt), z.x.value_or(here.zoom)};
        } else {
            target = {here.pan + pt.x.value_or(0), here.tilt + pt.y.value_or(0), here.zoom + z.x.value_or(0)};
        }
        heads_->MoveTo(head, target, s, pt.present, z.present);
        return answer({});
    }
    if (op == "GetPresets") {
        std::string xml;
        const std::vector<PtzPreset> presets = heads_->Presets(head).value_or(std::vector<PtzPreset>{});
        for (const auto& p : presets)
            xml += "<tptz:Preset token=\"" + XmlEscape(p.token) + "\">" + XmlTag("tt:Name", p.name) +
                   PositionXml("tt:PTZPosition", p.position) + "</tptz:Preset>";
        return answer(xml);
    }
    if (op == "SetPreset") {
        const auto token =
            heads_->SetPreset(head, PathText(request, "PresetToken"), PathText(request, "PresetName"), error);
        return token ? answer(XmlTag("tptz:PresetToken", *token)) : std::string();
    }
    if (op == "RemovePreset")
        return heads_->RemovePreset(head, PathText(request, "PresetToken"), error) ? answer({}) : std::string();
    // GotoPreset
    const auto preset = heads_->Preset(head, PathText(request, "PresetToken"));
    if (!preset)
        return fail("ter:NoToken", "No preset has this token");
    bool badSpeed = false;
    const PtzVector s = speed(badSpeed);
    if (badSpace)
        return fail("ter:SpaceNotSupported", "A space the node does not offer");
    if (badSpeed)
        return fail("ter:InvalidSpeed", "A speed is outside its space");
    heads_->MoveTo(head, preset->position, s);
    return answer({});
}

}  // namespace sim
