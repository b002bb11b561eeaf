#include "sim/OnvifService.h"

#include "sim/SoapRequest.h"
#include "sim/SoapWriter.h"
#include "sim/WsSecurity.h"

#include <httplib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

namespace sim {

namespace {

constexpr const char* kDevicePath = "/onvif/device_service";
constexpr const char* kMediaPath = "/onvif/media_service";
constexpr const char* kPtzPath = "/onvif/ptz_service";
constexpr const char* kEventsPath = "/onvif/event_service";

std::string Tag(const char* name, const std::string& text)
{
    return std::string("<") + name + ">" + XmlEscape(text) + "</" + name + ">";
}

std::string Tag(const char* name, long value)
{
    return Tag(name, std::to_string(value));
}

std::string Range(const char* name, unsigned min, unsigned max)
{
    return std::string("<") + name + ">" + Tag("tt:Min", min) + Tag("tt:Max", max) + "</" + name + ">";
}

std::string FormatQuality(float q)
{
    if (std::floor(q) == q)
        return std::to_string(static_cast<long>(q));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(q));
    return buf;
}

// Digits only; anything else (sign, blank, fraction, overflow) is malformed.
bool ParseUnsigned(const std::string& text, unsigned& out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

bool ParseQuality(const std::string& text, float& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    out = static_cast<float>(v);
    return true;
}

OnvifError NotSupported(const std::string& op)
{
    return {"Receiver", "ter:ActionNotSupported", "", "The operation " + op + " is not supported by this service"};
}

OnvifError Missing(const char* what)
{
    return {"Sender", "ter:InvalidArgVal", "ter:InvalidArgs", std::string("The request lacks ") + what};
}

}  // namespace

OnvifService::OnvifService(DeviceModel& model, FaultSet& faults, RequestLog& log, const StopSignal& stop,
                           OnvifSettings settings)
    : model_(model), faults_(faults), log_(log), stop_(stop), settings_(std::move(settings)),
      httpDigest_(settings_.user, settings_.password, RtspAuthMode::Digest)
{
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        Answer a = Handle(req.path, req.body, req.local_addr, req.get_header_value("Authorization"));
        res.status = a.status;
        if (a.challenge) {
            // Basic first, as many cameras list it: clients must still answer Digest.
            res.set_header("WWW-Authenticate", std::string("Basic realm=\"") + RtspAuthenticator::kRealm + "\"");
            res.set_header("WWW-Authenticate", std::string("Digest realm=\"") + RtspAuthenticator::kRealm +
                                                   "\", qop=\"auth\", nonce=\"" + httpDigest_.Nonce() +
                                                   "\", algorithm=MD5");
        }
        const char* type = "application/soap+xml; charset=utf-8";
        if (a.closeMidway && !a.body.empty()) {
            auto body = std::make_shared<std::string>(std::move(a.body));
            res.set_content_provider(body->size(), type, [body](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    sink.write(body->data(), body->size() / 2);
                return false;  // drops the connection with the answer half sent
            });
        } else if (a.trickleMs != 0 && !a.body.empty()) {
            SetTrickledContent(res, std::move(a.body), type, a.trickleMs, stop_);
        } else if (!a.body.empty()) {
            res.set_content(a.body, type);
        }
    };
    http_.Server().Post(R"(/.*)", handler);
    ServeSnapshots();
}

bool OnvifService::Start(const std::string& address, std::uint16_t port, std::string* error)
{
    return http_.Start(address, port, error);
}

std::time_t OnvifService::DeviceNow() const
{
    const std::optional<Fault> clock = faults_.First(Fault::Kind::Clock);
    return std::time(nullptr) + (clock ? static_cast<std::time_t>(clock->value) : 0);
}

std::vector<OnvifRequestRecord> OnvifService::Requests() const
{
    std::lock_guard lock(requestsMutex_);
    return requests_;
}

OnvifService::Answer OnvifService::Handle(const std::string& path, const std::string& body,
                                          const std::string& localAddress, const std::string& authorization)
{
    Answer answer;
    std::string parseError;
    bool versionMismatch = false;
    auto request = SoapRequest::Parse(body, &parseError, &versionMismatch);
    const std::string op = request ? request->OperationName() : "-";
    log_.Add("onvif " + op);
    {
        std::lock_guard lock(requestsMutex_);
        requests_.push_back({path, op, authorization, body});
    }

    if (unsigned ms = faults_.SlowMs("onvif"))
        stop_.SleepFor(std::chrono::milliseconds(ms));
    answer.closeMidway = faults_.Take(Fault::Kind::CloseMidway, "onvif");
    answer.trickleMs = faults_.TrickleMs("onvif");
    auto fault = [&](int status, const OnvifError& e) {
        answer.status = status;
        answer.body = SoapFault(e);
        return answer;
    };

    if (path != kDevicePath && path != kMediaPath && !(path == kPtzPath && heads_)) {
        answer.status = 404;
        return answer;
    }
    if (!request) {
        if (versionMismatch)
            return fault(400, {"VersionMismatch", "", "", parseError});
        return fault(400, {"Sender", "ter:WellFormed", "", parseError});
    }
    if (faults_.Take(Fault::Kind::Onvif401, op)) {
        answer.status = 401;
        answer.challenge = true;
        return answer;
    }
    // Clients read the clock before they can build a fresh token, so this one is open.
    const bool open = path == kDevicePath && op == "GetSystemDateAndTime";
    const std::optional<Fault> httpDigest = faults_.First(Fault::Kind::OnvifDigest);
    if (!open && httpDigest && !httpDigest_.Check("POST", authorization)) {
        answer.status = 401;
        answer.challenge = true;
        return answer;
    }
    const bool checkToken = !(httpDigest && httpDigest->value == 1);
    TokenCheck token = TokenCheck::Accepted;
    if (!open && checkToken) {
        if (const std::optional<Fault> clock = faults_.First(Fault::Kind::Clock))
            token = VerifyUsernameToken(request->Security(), settings_.user, settings_.password,
                                        Freshness{DeviceNow(), clock->window});
        else
            token = VerifyUsernameToken(request->Security(), settings_.user, settings_.password);
    }
    if (token != TokenCheck::Accepted) {
        answer.challenge = settings_.authFailureAs401;
        return fault(settings_.authFailureAs401 ? 401 : 400,
                     {"Sender", "ter:NotAuthorized", "", "Sender not authorized"});
    }
    if (faults_.Take(Fault::Kind::OnvifFault, op))
        return fault(500, {"Receiver", "ter:Action", "ter:HardwareFailure", "Injected device failure"});

    const std::string host = localAddress.empty() ? "127.0.0.1" : localAddress;
    OnvifError error;
    std::string result;
    const std::string ns = request->OperationNamespace();
    if (path == kDevicePath && ns == kDeviceNs)
        result = DeviceOperation(op, request->Operation(), host, error);
    else if (path == kMediaPath && ns == kMediaNs)
        result = MediaOperation(op, request->Operation(), host, error);
    else if (path == kPtzPath && ns == kPtzNs)
        result = PtzOperation(op, request->Operation(), error);
    else
        error = NotSupported(op);
    if (result.empty())
        return fault(error.code == "Receiver" ? 500 : 400, error);
    answer.body = SoapEnvelope(result);
    return answer;
}

std::string OnvifService::DeviceOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                          OnvifError& error)
{
    const std::string base = "http://" + host + ":" + std::to_string(http_.Port());
    if (op == "GetDeviceInformation") {
        return "<tds:GetDeviceInformationResponse>" + Tag("tds:Manufacturer", "Harnoquistel") +
               Tag("tds:Model", settings_.model) + Tag("tds:FirmwareVersion", settings_.firmware) +
               Tag("tds:SerialNumber", SerialNumber(settings_.number)) + Tag("tds:HardwareId", "HQ-SIM") +
               "</tds:GetDeviceInformationResponse>";
    }
    if (op == "GetSystemDateAndTime") {
        const std::time_t now = DeviceNow();
        std::tm utc{};
        gmtime_r(&now, &utc);
        return "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>NTP</tt:DateTimeType>"
               "<tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>"
               "<tt:UTCDateTime><tt:Time>" +
               Tag("tt:Hour", utc.tm_hour) + Tag("tt:Minute", utc.tm_min) + Tag("tt:Second", utc.tm_sec) +
               "</tt:Time><tt:Date>" + Tag("tt:Year", utc.tm_year + 1900) + Tag("tt:Month", utc.tm_mon + 1) +
               Tag("tt:Day", utc.tm_mday) +
               "</tt:Date></tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
    }
    if (op == "GetCapabilities") {
        std::string category = PathText(request, "Category");
        if (category.empty())
            category = "All";
        const bool all = category == "All";
        std::string caps;
        if (all || category == "Device")
            caps += "<tt:Device>" + Tag("tt:XAddr", base + kDevicePath) +
                    "<tt:IO><tt:InputConnectors>0</tt:InputConnectors><tt:RelayOutputs>0</tt:RelayOutputs></tt:IO>"
                    "</tt:Device>";
        if (all || category == "Events")
            caps += "<tt:Events>" + Tag("tt:XAddr", base + kEventsPath) +
                    "<tt:WSSubscriptionPolicySupport>false</tt:WSSubscriptionPolicySupport>"
                    "<tt:WSPullPointSupport>false</tt:WSPullPointSupport>"
                    "<tt:WSPausableSubscriptionManagerInterfaceSupport>false"
                    "</tt:WSPausableSubscriptionManagerInterfaceSupport></tt:Events>";
        if (all || category == "Media")
            caps += "<tt:Media>" + Tag("tt:XAddr", base + kMediaPath) +
                    "<tt:StreamingCapabilities><tt:RTPMulticast>false</tt:RTPMulticast>"
                    "<tt:RTP_TCP>false</tt:RTP_TCP><tt:RTP_RTSP_TCP>false</tt:RTP_RTSP_TCP>"
                    "</tt:StreamingCapabilities></tt:Media>";
        if (all || category == "PTZ")
            caps += "<tt:PTZ>" + Tag("tt:XAddr", base + kPtzPath) + "</tt:PTZ>";
        if (caps.empty()) {
            error = {"Receiver", "ter:ActionNotSupported", "ter:NoSuchService", "No such capability category"};
            return {};
        }
        return "<tds:GetCapabilitiesResponse><tds:Capabilities>" + caps +
               "</tds:Capabilities></tds:GetCapabilitiesResponse>";
    }
    return MoreDeviceOperation(op, request, host, error);
}

std::string OnvifService::SourceXml(const VideoSourceConfiguration& s, const std::string& element) const
{
    return "<" + element + " token=\"" + XmlEscape(s.token) + "\">" + Tag("tt:Name", s.name) +
           Tag("tt:UseCount", model_.UseCountOfSource(s.token)) + Tag("tt:SourceToken", s.sourceToken) +
           "<tt:Bounds x=\"0\" y=\"0\" width=\"" + std::to_string(s.width) + "\" height=\"" + std::to_string(s.height) +
           "\"/></" + element + ">";
}

std::string OnvifService::EncoderXml(const VideoEncoderConfiguration& e, const std::string& element) const
{
    return "<" + element + " token=\"" + XmlEscape(e.token) + "\">" + Tag("tt:Name", e.name) +
           Tag("tt:UseCount", model_.UseCountOfEncoder(e.token)) + Tag("tt:Encoding", e.encoding) + "<tt:Resolution>" +
           Tag("tt:Width", e.width) + Tag("tt:Height", e.height) + "</tt:Resolution>" +
           Tag("tt:Quality", FormatQuality(e.quality)) + "<tt:RateControl>" +
           Tag("tt:FrameRateLimit", e.frameRateLimit) + Tag("tt:EncodingInterval", e.encodingInterval) +
           Tag("tt:BitrateLimit", e.bitrateLimit) + "</tt:RateControl><tt:H264>" + Tag("tt:GovLength", e.govLength) +
           Tag("tt:H264Profile", e.h264Profile) + "</tt:H264><tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type>" +
           Tag("tt:IPv4Address", e.multicastAddress) + "</tt:Address>" + Tag("tt:Port", e.multicastPort) +
           Tag("tt:TTL", e.multicastTtl) + Tag("tt:AutoStart", e.autoStart ? "true" : "false") + "</tt:Multicast>" +
           Tag("tt:SessionTimeout", e.sessionTimeout) + "</" + element + ">";
}

std::string OnvifService::ProfileXml(const MediaProfile& p, const char* element) const
{
    std::string xml = std::string("<") + element + " token=\"" + XmlEscape(p.token) + "\" fixed=\"" +
                      (p.fixed ? "true" : "false") + "\">" + Tag("tt:Name", p.name);
    if (auto s = model_.SourceConfiguration(p.sourceConfiguration))
        xml += SourceXml(*s, "tt:VideoSourceConfiguration");
    if (auto e = model_.EncoderConfiguration(p.encoderConfiguration))
        xml += EncoderXml(*e, "tt:VideoEncoderConfiguration");
    return xml + "</" + element + ">";
}

std::string OnvifService::OptionsXml(const VideoEncoderConfiguration& e) const
{
    const EncoderOptions o = model_.OptionsFor(e);
    std::string resolutions, profiles;
    for (const auto& [w, h] : o.resolutions)
        resolutions +=
            "<tt:ResolutionsAvailable>" + Tag("tt:Width", w) + Tag("tt:Height", h) + "</tt:ResolutionsAvailable>";
    for (const auto& p : o.profiles)
        profiles += Tag("tt:H264ProfilesSupported", p);
    const std::string h264 = resolutions + Range("tt:GovLengthRange", o.govMin, o.govMax) +
                             Range("tt:FrameRateRange", o.frameRateMin, o.frameRateMax) +
                             Range("tt:EncodingIntervalRange", o.intervalMin, o.intervalMax) + profiles;
    return "<trt:GetVideoEncoderConfigurationOptionsResponse><trt:Options>" +
           Range("tt:QualityRange", o.qualityMin, o.qualityMax) + "<tt:H264>" + h264 +
           "</tt:H264><tt:Extension><tt:H264>" + h264 + Range("tt:BitrateRange", o.bitrateMin, o.bitrateMax) +
           "</tt:H264></tt:Extension></trt:Options></trt:GetVideoEncoderConfigurationOptionsResponse>";
}

std::string OnvifService::MediaOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                         OnvifError& error)
{
    const std::string profileToken = PathText(request, "ProfileToken");
    const std::string configToken = PathText(request, "ConfigurationToken");
    auto empty = [&] { return "<trt:" + op + "Response/>"; };

    if (op == "GetProfiles") {
        std::string xml;
        for (const auto& p : model_.Profiles())
            xml += ProfileXml(p, "trt:Profiles");
        return "<trt:GetProfilesResponse>" + xml + "</trt:GetProfilesResponse>";
    }
    if (op == "GetVideoSourceConfigurations") {
        std::string xml;
        for (const auto& s : model_.SourceConfigurations())
            xml += SourceXml(s, "trt:Configurations");
        return "<trt:GetVideoSourceConfigurationsResponse>" + xml + "</trt:GetVideoSourceConfigurationsResponse>";
    }
    if (op == "GetVideoEncoderConfigurations") {
        std::string xml;
        for (const auto& e : model_.EncoderConfigurations())
            xml += EncoderXml(e, "trt:Configurations");
        return "<trt:GetVideoEncoderConfigurationsResponse>" + xml + "</trt:GetVideoEncoderConfigurationsResponse>";
    }
    if (op == "GetVideoEncoderConfiguration") {
        auto e = model_.EncoderConfiguration(configToken);
        if (!e) {
            error = {"Sender", "ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist"};
            return {};
        }
        return "<trt:GetVideoEncoderConfigurationResponse>" + EncoderXml(*e, "trt:Configuration") +
               "</trt:GetVideoEncoderConfigurationResponse>";
    }
    if (op == "GetVideoEncoderConfigurationOptions") {
        std::optional<VideoEncoderConfiguration> e;
        if (!configToken.empty()) {
            e = model_.EncoderConfiguration(configToken);
        } else if (!profileToken.empty()) {
            if (auto p = model_.Profile(profileToken))
                e = model_.EncoderConfiguration(p->encoderConfiguration);
        } else if (auto all = model_.EncoderConfigurations(); !all.empty()) {
            e = all.front();
        }
        if (!e) {
            error = {"Sender", "ter:InvalidArgVal", configToken.empty() ? "ter:NoProfile" : "ter:NoConfig",
                     "The requested configuration does not exist"};
            return {};
        }
        return OptionsXml(*e);
    }
    if (op == "SetVideoEncoderConfiguration") {
        const xmlNode* c = FindChild(request, "Configuration");
        const auto token = Attribute(c, "token");
        if (!c || !token) {
            error = Missing("a Configuration with a token");
            return {};
        }
        auto current = model_.EncoderConfiguration(*token);
        if (!current) {
            error = {"Sender", "ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist"};
            return {};
        }
        VideoEncoderConfiguration w = *current;
        bool ok = true;
        auto number = [&](const char* path, unsigned& field) {
            if (std::string t = PathText(c, path); !t.empty())
                ok = ParseUnsigned(t, field) && ok;
        };
        if (auto t = PathText(c, "Name"); !t.empty())
            w.name = t;
        if (auto t = PathText(c, "Encoding"); !t.empty())
            w.encoding = t;
        number("Resolution/Width", w.width);
        number("Resolution/Height", w.height);
        if (auto t = PathText(c, "Quality"); !t.empty())
            ok = ParseQuality(t, w.quality) && ok;
        number("RateControl/FrameRateLimit", w.frameRateLimit);
        number("RateControl/EncodingInterval", w.encodingInterval);
        number("RateControl/BitrateLimit", w.bitrateLimit);
        number("H264/GovLength", w.govLength);
        if (FindChild(c, "H264"))
            w.h264Profile = PathText(c, "H264/H264Profile");
        if (auto t = PathText(c, "SessionTimeout"); !t.empty())
            w.sessionTimeout = t;
        if (const xmlNode* m = FindChild(c, "Multicast")) {
            w.multicastAddress = PathText(m, "Address/IPv4Address");
            number("Multicast/Port", w.multicastPort);
            number("Multicast/TTL", w.multicastTtl);
            w.autoStart = PathText(m, "AutoStart") == "true";
        }
        if (!ok) {
            error = {"Sender", "ter:InvalidArgVal", "ter:ConfigModify", "A value of the configuration is malformed"};
            return {};
        }
        if (!model_.SetEncoder(w, error))
            return {};
        return empty();
    }
    if (op == "GetCompatibleVideoEncoderConfigurations") {
        auto list = model_.CompatibleEncoders(profileToken, error);
        if (!list)
            return {};
        std::string xml;
        for (const auto& e : *list)
            xml += EncoderXml(e, "trt:Configurations");
        return "<trt:GetCompatibleVideoEncoderConfigurationsResponse>" + xml +
               "</trt:GetCompatibleVideoEncoderConfigurationsResponse>";
    }
    if (op == "CreateProfile") {
        auto token = model_.CreateProfile(PathText(request, "Name"), PathText(request, "Token"), error);
        if (!token)
            return {};
        return "<trt:CreateProfileResponse>" + ProfileXml(*model_.Profile(*token), "trt:Profile") +
               "</trt:CreateProfileResponse>";
    }
    bool done = false;
    if (op == "DeleteProfile")
        done = model_.DeleteProfile(profileToken, error);
    else if (op == "AddVideoSourceConfiguration")
        done = model_.AddSource(profileToken, configToken, error);
    else if (op == "AddVideoEncoderConfiguration")
        done = model_.AddEncoder(profileToken, configToken, error);
    else if (op == "RemoveVideoSourceConfiguration")
        done = model_.RemoveSource(profileToken, error);
    else if (op == "RemoveVideoEncoderConfiguration")
        done = model_.RemoveEncoder(profileToken, error);
    else if (op == "GetStreamUri") {
        const std::string stream = PathText(request, "StreamSetup/Stream");
        const std::string protocol = PathText(request, "StreamSetup/Transport/Protocol");
        if (stream != "RTP-Unicast" || (protocol != "UDP" && protocol != "RTSP")) {
            error = {"Sender", "ter:InvalidArgVal", "ter:InvalidStreamSetup",
                     "Only RTP-Unicast over UDP or RTSP is offered"};
            return {};
        }
        if (!model_.StreamEncoder(profileToken, error))
            return {};
        std::string uri = settings_.rtspUri;
        if (uri.empty())
            uri = "rtsp://" + host + ":" + std::to_string(rtspPort_.load()) + "/media/" + profileToken;
        return "<trt:GetStreamUriResponse><trt:MediaUri>" + Tag("tt:Uri", uri) +
               "<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect>"
               "<tt:InvalidAfterReboot>false</tt:InvalidAfterReboot><tt:Timeout>PT60S</tt:Timeout>"
               "</trt:MediaUri></trt:GetStreamUriResponse>";
    } else {
        return MoreMediaOperation(op, request, host, error);
    }
    return done ? empty() : std::string();
}

}  // namespace sim
