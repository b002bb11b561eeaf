#include "capability/CVerintCameraProperties.h"

#include <algorithm>
#include <cstdio>

#include "capability/CEncoderSelector.h"
#include "foundation/IDriver.h"
#include "onvif/OwnProfileNames.h"

namespace velkora {

using ipcapture::IHostCapabilityStore;

namespace {

constexpr char PtzProbePath[] = "/cgi-bin/run?ptz.cgi%20zoom%200";
constexpr char PtzNamespaces[] = "tptz=http://www.onvif.org/ver20/ptz/wsdl";
constexpr char AbortedText[] = "Query was aborted";

std::string RemoveLineBreaks(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
    return text;
}

}  // namespace

CVerintCameraProperties::CVerintCameraProperties(const DEVICE_INFO& device, uint32_t standard, uint16_t ptzPort_)
    : CBaseCameraProperties(device, standard), probeSender(DEVICE_INFO(device, ptzPort_)), onvifClient(device),
      ptzPort(ptzPort_)
{
}

void CVerintCameraProperties::Abort()
{
    onvifClient.Abort();
    probeSender.Cancel();
}

bool CVerintCameraProperties::Aborted()
{
    if (!IsAborted())
        return false;
    errorText = AbortedText;
    return true;
}

void CVerintCameraProperties::SetStepError(const std::string& request, const std::string& description)
{
    const SoapFault fault = onvifClient.GetLastFault();
    if (request.empty())
        errorText = fault.GetErrorText("");
    else if (description.empty())
        errorText = "Unable to process <" + request + "> request" + fault.GetErrorText(". ");
    else
        errorText = description + " (Request: <" + request + ">" + fault.GetErrorText(". ") + ")";
}

bool CVerintCameraProperties::Query(uint32_t* kind)
{
    uint32_t unused = 0;
    if (kind == nullptr)
        kind = &unused;
    if (!ProbePTZ(kind))
        return false;

    bool done = false;
    if (onvifClient.Initialize("Digest", PtzNamespaces))
        done = ReadDeviceInformation() && ReadCapabilities() && ReadMedia();
    onvifClient.Reset();
    if (done)
        return true;

    if (IsAborted()) {
        *kind = ipcapture::QueryFailureOther;
        errorText = AbortedText;
        return false;
    }
    const SoapFault fault = onvifClient.GetLastFault();
    const bool loginFailed = fault.httpStatus == 401 || !fault.FindAuthenticationFault().empty();
    *kind = loginFailed ? ipcapture::QueryFailureLogin : ipcapture::QueryFailureOther;
    if (loginFailed)
        errorText += fault.GetAuthenticationText(". ");
    return false;
}

bool CVerintCameraProperties::ProbePTZ(uint32_t* kind)
{
    if (Aborted()) {
        *kind = ipcapture::QueryFailureOther;
        return false;
    }
    Web::HttpRequest request("GET", PtzProbePath);
    const bool sent = probeSender.Send(request);
    const uint32_t status = probeSender.GetStatusCode();
    probeSender.Release();
    if (sent && (status == 200 || status == 204)) {
        ptzSupported = true;
        ptzCapabilities = CPtzCapabilities();
        ptzCapabilities.pan = ptzCapabilities.tilt = ptzCapabilities.zoom = true;
        return true;
    }
    *kind = ipcapture::QueryFailureOther;
    if (!sent) {
        if (!Aborted())
            errorText = "Device " + deviceInfo.host + ":" + std::to_string(ptzPort) + " is not accessible";
        return false;
    }
    if (status == 401) {
        *kind = ipcapture::QueryFailureLogin;
        return false;
    }
    char text[160];
    std::snprintf(text, sizeof(text), "Device %s:%hu returned HTTP %u status for PTZ capabilities request",
                  deviceInfo.host.c_str(), ptzPort, status);
    errorText = text;
    return false;
}

bool CVerintCameraProperties::ReadDeviceInformation()
{
    if (Aborted())
        return false;
    DeviceInformation info;
    if (!onvifClient.GetDeviceInformation(info)) {
        SetStepError("tds:GetDeviceInformation", "Unable to receive device model");
        return false;
    }
    if (info.model.empty()) {
        errorText = "ONVIF device model is not specified (tds:GetDeviceInformation)";
        return false;
    }
    if (!info.manufacturer.empty())
        manufacturer = info.manufacturer;
    model = info.model;
    firmware = RemoveLineBreaks(info.firmwareVersion);
    return true;
}

bool CVerintCameraProperties::ReadCapabilities()
{
    if (Aborted())
        return false;
    DeviceCapabilities capabilities;
    if (!onvifClient.GetCapabilities(capabilities)) {
        SetStepError("tds:GetCapabilities", "Unable to receive I/O capabilities");
        return false;
    }
    return true;
}

bool CVerintCameraProperties::ReadMedia()
{
    if (!ReadVideoSources() || !ReadProfiles() || !CountStreams())
        return false;

    ownProfileNames.clear();
    for (const Onvif::MediaProfile& profile : profiles)
        if (IsOwnProfileName(profile.name))
            ownProfileNames.insert(profile.name);

    sourceInfos.clear();
    for (const Onvif::VideoSourceConfiguration& source : sources) {
        if (Aborted())
            return false;
        if (!CollectSourceProfiles(source, sourceInfos[source.token]))
            return false;
    }
    bool anyCompatible = false;
    for (const auto& [token, info] : sourceInfos)
        for (const auto& [profile, encoders] : info.profiles)
            anyCompatible = anyCompatible || !encoders.empty();
    if (!anyCompatible) {
        errorText = "The <trt:GetCompatibleVideoEncoderConfigurations> request doesn't return any correct "
                    "configuration";
        return false;
    }
    return ReadEncoderOptions() && FillStreams();
}

bool CVerintCameraProperties::ReadVideoSources()
{
    if (Aborted())
        return false;
    std::vector<Onvif::VideoSourceConfiguration> all;
    if (!onvifClient.GetVideoSourceConfigurations(all)) {
        SetStepError("trt:GetVideoSourceConfigurations", "Unable to receive list of video sources");
        return false;
    }
    if (all.empty()) {
        errorText = "List of video sources is empty (trt:GetVideoSourceConfigurations)";
        return false;
    }
    sources.clear();
    std::set<std::string> seenSources;
    for (const Onvif::VideoSourceConfiguration& source : all)
        if (!source.sourceToken.empty() && seenSources.insert(source.sourceToken).second)
            sources.push_back(source);
    if (sources.empty()) {
        errorText = "Video source configurations doesn't contain any correct source token "
                    "(trt:GetVideoSourceConfigurations)";
        return false;
    }
    videoSourceCount = uint16_t(sources.size());
    return true;
}

bool CVerintCameraProperties::ReadProfiles()
{
    if (Aborted())
        return false;
    if (!onvifClient.GetProfiles(profiles)) {
        SetStepError("trt:GetProfiles", "Unable to receive list of profiles");
        return false;
    }
    return true;
}

bool CVerintCameraProperties::CountStreams()
{
    streamCount = 1;
    if (!streamProperties)
        return true;
    if (Aborted())
        return false;
    std::vector<Onvif::VideoEncoderConfiguration> encoders;
    if (!onvifClient.GetVideoEncoderConfigurations(encoders)) {
        SetStepError("trt:GetVideoEncoderConfigurations", "Unable to receive available video encoder configurations");
        return false;
    }
    if (encoders.empty()) {
        errorText = "List of video encoders is empty (trt:GetVideoEncoderConfigurations)";
        return false;
    }
    const size_t perSource = encoders.size() / sources.size();
    streamCount = uint16_t(std::clamp<size_t>(perSource, 1, 3));
    return true;
}

std::string CVerintCameraProperties::CreateOwnProfile(const std::string& sourceToken)
{
    std::string name;
    for (unsigned slot = 0; slot < kNumberedProfileSlots && name.empty(); ++slot) {
        std::string candidate = NumberedProfileName(slot, sourceToken);
        if (ownProfileNames.count(candidate) == 0)
            name = std::move(candidate);
    }
    if (name.empty())
        return {};
    std::string token;
    if (!onvifClient.CreateProfile(name, token))
        return {};
    ownProfileNames.insert(name);
    if (IsAborted()) {
        onvifClient.DeleteProfile(token);
        return {};
    }
    if (!onvifClient.AddVideoSourceConfiguration(token, sourceToken)) {
        onvifClient.DeleteProfile(token);
        return {};
    }
    return token;
}

bool CVerintCameraProperties::CollectSourceProfiles(const Onvif::VideoSourceConfiguration& source,
                                                    CVideoSourceInfo& info)
{
    std::vector<std::string> collected;
    for (const Onvif::MediaProfile& profile : profiles)
        if (profile.videoSourceConfiguration.token == source.token)
            collected.push_back(profile.token);
    while (collected.size() < streamCount) {
        if (Aborted())
            return false;
        std::string created = CreateOwnProfile(source.token);
        if (created.empty())
            break;
        collected.push_back(created);
    }
    for (const std::string& profile : collected) {
        if (Aborted() || !ReadCompatibleEncoders(profile, info))
            return false;
    }
    return true;
}

bool CVerintCameraProperties::ReadCompatibleEncoders(const std::string& profile, CVideoSourceInfo& info)
{
    std::set<std::string>& compatible = info.profiles[profile];
    std::vector<Onvif::VideoEncoderConfiguration> encoders;
    if (!onvifClient.GetCompatibleVideoEncoderConfigurations(profile, encoders)) {
        const SoapFault fault = onvifClient.GetLastFault();
        // A device may refuse this for some profiles; the others may still serve.
        if (fault.httpStatus != 0 && !fault.code.empty())
            return true;
        SetStepError("trt:GetCompatibleVideoEncoderConfigurations", "");
        return false;
    }
    for (const Onvif::VideoEncoderConfiguration& encoder : encoders)
        if (!encoder.token.empty())
            compatible.insert(encoder.token);
    return true;
}

bool CVerintCameraProperties::ReadEncoderOptions()
{
    encoderOptions.clear();
    std::set<std::string> tokens;
    for (const auto& [source, info] : sourceInfos)
        for (const auto& [profile, encoders] : info.profiles)
            tokens.insert(encoders.begin(), encoders.end());
    for (const std::string& token : tokens) {
        if (Aborted())
            return false;
        EncoderOptions options;
        if (!onvifClient.GetVideoEncoderConfigurationOptions(token, options)) {
            SetStepError("trt:GetVideoEncoderConfigurationOptions",
                         "Unable to receive video encoder capabilities for " + token + " token");
            return false;
        }
        encoderOptions[token] = options;
    }
    return true;
}

void CVerintCameraProperties::AddSourceConfigItem(const std::string& key, const std::string& value)
{
    if (key.empty() || value.empty())
        return;
    // Keys are matched whole between separators, as capture reads them.
    const std::string item = key + "=";
    size_t at = 0;
    while ((at = videoSourceConfig.find(item, at)) != std::string::npos) {
        if (at == 0 || videoSourceConfig[at - 1] == ';')
            return;
        ++at;
    }
    if (!videoSourceConfig.empty())
        videoSourceConfig += ';';
    videoSourceConfig += item + value;
}

bool CVerintCameraProperties::FillStreams()
{
    for (StreamCaps& stream : streams)
        stream.Clear();
    videoSourceCount = 0;
    streamCount = 1;
    StreamCaps& main = streams[0];
    std::set<std::string> h264Profiles;

    for (const Onvif::VideoSourceConfiguration& source : sources) {
        if (Aborted())
            return false;
        const CVideoSourceInfo& info = sourceInfos[source.token];
        std::set<std::string> compatible;
        for (const auto& [profile, encoders] : info.profiles)
            compatible.insert(encoders.begin(), encoders.end());

        CEncoderSelector selector;
        for (const std::string& token : compatible) {
            auto options = encoderOptions.find(token);
            if (options == encoderOptions.end())
                continue;
            for (const CodecOptions& codec : options->second.codecs) {
                EncoderCandidate candidate;
                candidate.token = token;
                candidate.encoding = codec.codec;
                for (const Resolution& resolution : codec.resolutions)
                    candidate.resolutions.emplace(resolution.width, resolution.height);
                candidate.framerates = codec.AvailableFrameRates();
                selector.Offer(candidate);
            }
        }
        selector.AssignProfiles(info, h264Profiles);

        const CEncoderSelector::Pick* pick = selector.Find(OnvifCodecH264);
        if (pick == nullptr)
            continue;
        const std::string n = std::to_string(videoSourceCount);
        AddSourceConfigItem("source" + n, source.token);
        AddSourceConfigItem("profile" + n, pick->profile);
        AddSourceConfigItem("encoder" + n, pick->encoder.token);
        main.codecs.insert(CapsCodecH264);
        main.framerates.insert(pick->encoder.framerates.begin(), pick->encoder.framerates.end());
        const uint32_t bestRate = *pick->encoder.framerates.rbegin();
        for (const StreamCaps::Size& size : pick->encoder.resolutions)
            if (size.first != 0 && size.second != 0 && size.first > size.second)
                main.resolutions.emplace(size, bestRate);
        if (!pick->profile.empty())
            h264Profiles.insert(pick->profile);
        ++videoSourceCount;
    }
    return videoSourceCount > 0 && !main.codecs.empty() && !main.resolutions.empty() && !main.framerates.empty();
}

bool CVerintCameraProperties::WriteDeviceParameters(IHostCapabilityStore* store)
{
    const ServiceAddresses paths = onvifClient.GetServiceAddresses();
    struct Parameter {
        DeviceParameter number;
        const char* name;
        std::string value;
    };
    const Parameter parameters[] = {
        {ParamVideoStandard, "Video standard", std::to_string(videoStandard)},
        {ParamFirmwareVersion, "Firmware version", firmware},
        {ParamPtzCapabilities, "PTZ capabilities", ptzCapabilities.ToString()},
        {ParamOnvifDeviceServiceUri, "ONVIF Device Service URI", paths.devicePath},
        {ParamOnvifMediaServiceUri, "ONVIF Media Service URI", paths.mediaPath},
        {ParamOnvifPtzServiceUri, "ONVIF PTZ Service URI", paths.ptzPath},
        {ParamCustomOnvifNamespaces, "Custom ONVIF Namespaces", onvifClient.GetCustomNamespaces()},
        {ParamOnvifAuthentication, "ONVIF Authentication", onvifClient.GetAuthenticationType()},
        {ParamVideoSourceConfiguration, "H.264 ONVIF Video-Source configuration", videoSourceConfig},
        {ParamRtspPort, "RTSP port", "554"},
    };
    bool written = true;
    for (const Parameter& parameter : parameters)
        written =
            AddTextProperty(store, static_cast<int32_t>(parameter.number), parameter.name, parameter.value) && written;
    return written;
}

}  // namespace velkora
