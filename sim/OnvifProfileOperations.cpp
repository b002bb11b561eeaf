// The device and media operations clients make at connect and in live view beyond
// those our own driver uses, and the snapshots GetSnapshotUri points at.
#include "sim/OnvifService.h"
#include "sim/OnvifXml.h"
#include "sim/SoapRequest.h"

#include <httplib.h>

#include <cctype>

namespace sim {

namespace {

constexpr const char* kSnapshotPrefix = "/onvif/snapshot/";
constexpr const char* kScopeBase = "onvif://www.onvif.org/";

// A token as a path segment: unreserved characters stay, the rest is percent-encoded.
std::string PathSegment(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Service(const char* ns, const std::string& xaddr, const std::string& capabilities, int minor)
{
    return std::string("<tds:Service>") + XmlTag("tds:Namespace", ns) + XmlTag("tds:XAddr", xaddr) +
           (capabilities.empty() ? "" : "<tds:Capabilities>" + capabilities + "</tds:Capabilities>") +
           "<tds:Version><tt:Major>2</tt:Major>" + XmlTag("tt:Minor", minor) + "</tds:Version></tds:Service>";
}

std::string NoConfig()
{
    return "The requested configuration does not exist";
}

}  // namespace

std::string OnvifService::ServiceCapabilitiesXml(const std::string& ns) const
{
    if (ns == kDeviceNs) {
        const bool digest = faults_.First(Fault::Kind::OnvifDigest).has_value();
        return std::string("<tds:Capabilities><tds:Network IPFilter=\"false\" ZeroConfiguration=\"false\" "
                           "IPVersion6=\"false\" DynDNS=\"false\" HostnameFromDHCP=\"false\" NTP=\"1\"/>"
                           "<tds:Security UsernameToken=\"true\" HttpDigest=\"") +
               (digest ? "true" : "false") +
               "\"/><tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"false\" RemoteDiscovery=\"false\" "
               "SystemBackup=\"false\" SystemLogging=\"false\" FirmwareUpgrade=\"false\"/></tds:Capabilities>";
    }
    if (ns == kMediaNs)
        return "<trt:Capabilities SnapshotUri=\"true\" Rotation=\"false\" VideoSourceMode=\"false\" OSD=\"false\">"
               "<trt:ProfileCapabilities MaximumNumberOfProfiles=\"" +
               std::to_string(DeviceModel::kMaxProfiles) +
               "\"/><trt:StreamingCapabilities RTPMulticast=\"false\" RTP_TCP=\"false\" RTP_RTSP_TCP=\"true\" "
               "NonAggregateControl=\"false\" NoRTSPStreaming=\"false\"/></trt:Capabilities>";
    return std::string("<tptz:Capabilities xmlns:tptz=\"") + kPtzNs +
           "\" EFlip=\"false\" Reverse=\"false\" GetCompatibleConfigurations=\"false\" MoveStatus=\"true\" "
           "StatusPosition=\"true\"/>";
}

std::vector<std::pair<bool, std::string>> OnvifService::Scopes() const
{
    std::string name;
    for (char c : settings_.model)
        name += c == ' ' ? std::string("%20") : std::string(1, c);
    std::vector<std::pair<bool, std::string>> scopes{{true, std::string(kScopeBase) + "type/video_encoder"}};
    if (heads_)
        scopes.push_back({true, std::string(kScopeBase) + "type/ptz"});
    for (const char* fixed : {"Profile/Streaming", "hardware/HQ-SIM"})
        scopes.push_back({true, kScopeBase + std::string(fixed)});
    scopes.push_back({false, kScopeBase + std::string("name/") + name});
    scopes.push_back({false, kScopeBase + std::string("location/country/none")});
    return scopes;
}

std::string OnvifService::MoreDeviceOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                              OnvifError& error)
{
    const std::string base = "http://" + host + ":" + std::to_string(http_.Port());
    if (op == "GetServices") {
        const bool withCapabilities = PathText(request, "IncludeCapability") == "true";
        auto caps = [&](const char* ns) { return withCapabilities ? ServiceCapabilitiesXml(ns) : std::string(); };
        std::string xml = Service(kDeviceNs, base + "/onvif/device_service", caps(kDeviceNs), 40) +
                          Service(kMediaNs, base + "/onvif/media_service", caps(kMediaNs), 40);
        if (heads_)
            xml += Service(kPtzNs, base + "/onvif/ptz_service", caps(kPtzNs), 40);
        return "<tds:GetServicesResponse>" + xml + "</tds:GetServicesResponse>";
    }
    if (op == "GetServiceCapabilities")
        return "<tds:GetServiceCapabilitiesResponse>" + ServiceCapabilitiesXml(kDeviceNs) +
               "</tds:GetServiceCapabilitiesResponse>";
    if (op == "GetScopes") {
        std::string xml;
        for (const auto& [fixed, item] : Scopes())
            xml += std::string("<tds:Scopes>") + XmlTag("tt:ScopeDef", fixed ? "Fixed" : "Configurable") +
                   XmlTag("tt:ScopeItem", item) + "</tds:Scopes>";
        return "<tds:GetScopesResponse>" + xml + "</tds:GetScopesResponse>";
    }
    if (op == "GetHostname")
        return "<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP>"
               "<tt:Name>harnoquistel-sim</tt:Name></tds:HostnameInformation></tds:GetHostnameResponse>";
    if (op == "GetNetworkInterfaces") {
        const long prefix = host.rfind("127.", 0) == 0 ? 8 : 24;
        return "<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\"><tt:Enabled>true</tt:Enabled>"
               "<tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>" +
               MacAddress(settings_.number) +
               "</tt:HwAddress><tt:MTU>1500</tt:MTU>"
               "</tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual>" +
               XmlTag("tt:Address", host) + XmlTag("tt:PrefixLength", prefix) +
               "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces>"
               "</tds:GetNetworkInterfacesResponse>";
    }
    if (op == "GetNTP")
        return "<tds:GetNTPResponse><tds:NTPInformation><tt:FromDHCP>false</tt:FromDHCP><tt:NTPManual>"
               "<tt:Type>DNS</tt:Type><tt:DNSname>localhost</tt:DNSname></tt:NTPManual></tds:NTPInformation>"
               "</tds:GetNTPResponse>";
    error = OperationNotSupported(op);
    return {};
}

std::string OnvifService::MoreMediaOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                             OnvifError& error)
{
    const std::string profileToken = PathText(request, "ProfileToken");
    const std::string configToken = PathText(request, "ConfigurationToken");
    auto fail = [&](const char* subsub, const std::string& reason) {
        error = {"Sender", "ter:InvalidArgVal", subsub, reason};
        return std::string();
    };

    if (op == "GetServiceCapabilities")
        return "<trt:GetServiceCapabilitiesResponse>" + ServiceCapabilitiesXml(kMediaNs) +
               "</trt:GetServiceCapabilitiesResponse>";
    if (op == "GetVideoSources") {
        std::string xml;
        for (const auto& s : model_.SourceConfigurations())
            xml += "<trt:VideoSources token=\"" + XmlEscape(s.sourceToken) + "\"><tt:Framerate>25</tt:Framerate>" +
                   "<tt:Resolution>" + XmlTag("tt:Width", s.width) + XmlTag("tt:Height", s.height) +
                   "</tt:Resolution></trt:VideoSources>";
        return "<trt:GetVideoSourcesResponse>" + xml + "</trt:GetVideoSourcesResponse>";
    }
    if (op == "GetVideoSourceConfiguration") {
        auto s = model_.SourceConfiguration(configToken);
        if (!s)
            return fail("ter:NoConfig", NoConfig());
        return "<trt:GetVideoSourceConfigurationResponse>" + SourceXml(*s, "trt:Configuration") +
               "</trt:GetVideoSourceConfigurationResponse>";
    }
    if (op == "GetVideoSourceConfigurationOptions") {
        std::optional<VideoSourceConfiguration> s;
        if (!configToken.empty()) {
            s = model_.SourceConfiguration(configToken);
        } else if (!profileToken.empty()) {
            if (auto p = model_.Profile(profileToken))
                s = model_.SourceConfiguration(p->sourceConfiguration);
        } else if (auto all = model_.SourceConfigurations(); !all.empty()) {
            s = all.front();
        }
        if (!s)
            return fail(configToken.empty() ? "ter:NoProfile" : "ter:NoConfig", NoConfig());
        const std::string w = std::to_string(s->width), h = std::to_string(s->height);
        return "<trt:GetVideoSourceConfigurationOptionsResponse><trt:Options MaximumNumberOfProfiles=\"" +
               std::to_string(DeviceModel::kMaxProfiles) + "\"><tt:BoundsRange>" + XmlRange("tt:XRange", "0", "0") +
               XmlRange("tt:YRange", "0", "0") + XmlRange("tt:WidthRange", w, w) + XmlRange("tt:HeightRange", h, h) +
               "</tt:BoundsRange>" + XmlTag("tt:VideoSourceTokensAvailable", s->sourceToken) +
               "</trt:Options></trt:GetVideoSourceConfigurationOptionsResponse>";
    }
    if (op == "GetAudioSources")
        return "<trt:GetAudioSourcesResponse/>";  // the camera has no microphone
    if (op == "GetGuaranteedNumberOfVideoEncoderInstances") {
        auto s = model_.SourceConfiguration(configToken);
        if (!s)
            return fail("ter:NoConfig", NoConfig());
        long count = 0;
        for (const auto& e : model_.EncoderConfigurations())
            count += model_.SourceConfigurations()[e.source].token == s->token;
        return "<trt:GetGuaranteedNumberOfVideoEncoderInstancesResponse>" + XmlTag("trt:TotalNumber", count) +
               XmlTag("trt:H264", count) + "</trt:GetGuaranteedNumberOfVideoEncoderInstancesResponse>";
    }
    if (op == "GetProfile") {
        auto p = model_.Profile(profileToken);
        if (!p)
            return fail("ter:NoProfile", "The requested profile token does not exist");
        return "<trt:GetProfileResponse>" + ProfileXml(*p, "trt:Profile") + "</trt:GetProfileResponse>";
    }
    if (op == "GetSnapshotUri") {
        if (!model_.StreamEncoder(profileToken, error))
            return {};
        const std::string uri =
            "http://" + host + ":" + std::to_string(http_.Port()) + kSnapshotPrefix + PathSegment(profileToken);
        return "<trt:GetSnapshotUriResponse><trt:MediaUri>" + XmlTag("tt:Uri", uri) +
               "<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect>"
               "<tt:InvalidAfterReboot>false</tt:InvalidAfterReboot><tt:Timeout>PT0S</tt:Timeout>"
               "</trt:MediaUri></trt:GetSnapshotUriResponse>";
    }
    error = OperationNotSupported(op);
    return {};
}

void OnvifService::ServeSnapshots()
{
    // The picture of the profile's current encoder size, behind HTTP Digest like a camera's web server.
    http_.Server().Get(R"(/onvif/snapshot/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        log_.Add("snapshot " + req.path);
        if (!httpDigest_.Check("GET", req.get_header_value("Authorization"))) {
            res.status = 401;
            res.set_header("WWW-Authenticate", std::string("Digest realm=\"") + RtspAuthenticator::kRealm +
                                                   "\", qop=\"auth\", nonce=\"" + httpDigest_.Nonce() +
                                                   "\", algorithm=MD5");
            return;
        }
        OnvifError error;
        const auto encoder = model_.StreamEncoder(req.matches[1].str(), error);
        const auto picture = encoder && snapshots_ ? snapshots_->Find(encoder->width, encoder->height) : nullptr;
        if (!picture) {
            res.status = 404;
            return;
        }
        res.set_content(*picture, "image/jpeg");
    });
}

}  // namespace sim
