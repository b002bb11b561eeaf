#include "channels/CCommonRtspChannel.h"

#include <cstdarg>
#include <cstdio>

#include "channels/ProfileMatching.h"
#include "channels/StreamUri.h"
#include "foundation/FormatText.h"
#include "foundation/MethodName.h"
#include "foundation/StreamKindNames.h"
#include "onvif/OwnProfileNames.h"
#include "foundation/CTime.h"
#include "foundation/Trace.h"

namespace velkora {

namespace {

ServiceAddresses ServicePathsOf(IDriver* driver)
{
    ServiceAddresses paths;
    paths.devicePath = driver->GetParameterString(ParamOnvifDeviceServiceUri);
    paths.mediaPath = driver->GetParameterString(ParamOnvifMediaServiceUri);
    paths.ptzPath = driver->GetParameterString(ParamOnvifPtzServiceUri);
    return paths;
}

}  // namespace

CCommonRtspChannel::CCommonRtspChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink)
    : CBaseRTSPChannel(channelIndex, driver, sink), onvif(driver->GetDeviceInfo())
{
    onvif.SetServiceAddresses(ServicePathsOf(driver));
    onvif.SetMessageSink(driver);
}

CCommonRtspChannel::~CCommonRtspChannel()
{
    Stop();
}

void CCommonRtspChannel::DebugMessage(int32_t level, const char* format, ...)
{
    std::string text;
    try {
        va_list args;
        va_start(args, format);
        text = FormatTextV(format, args);
        va_end(args);
    } catch (...) {
        driver->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                             MethodName(kCommonRtspChannelClassName, "DebugMessage").c_str());
        return;
    }
    // A stopping channel aborts its ONVIF exchange itself: the failure that follows says
    // nothing about the device.
    if (IsStopping())
        return;
    if (!text.empty() && messages.Admit(text))
        driver->DebugMessage(level, "%s", text.c_str());
}

std::string CCommonRtspChannel::LastError()
{
    const SoapFault fault = onvif.GetLastFault();
    return fault.GetErrorText(". ") + fault.GetAuthenticationText(". ");
}

std::string CCommonRtspChannel::GetProfileToken()
{
    CAutoLock guard(profileLock);
    return profileToken;
}

void CCommonRtspChannel::SelectProfile(const std::string& token)
{
    CAutoLock guard(profileLock);
    profileToken = token;
}

std::pair<uint16_t, uint16_t> CCommonRtspChannel::GetChannelPair()
{
    return PickResolution();
}

const std::string& CCommonRtspChannel::GetFrameSourceName()
{
    // Asked per frame: built again only when the stream kind changes (the module name is fixed).
    const uint32_t kind = GetStreamParams().kind;
    if (frameSourceName.empty() || kind != frameSourceKind) {
        frameSourceKind = kind;
        frameSourceName = driver->GetModuleName();
        const std::string tag = NamesOfStreamKind(kind).tag;
        if (!tag.empty())
            frameSourceName += "::" + tag + "Stream";
    }
    return frameSourceName;
}

void CCommonRtspChannel::OnStopThread()
{
    // A capture thread blocked in an ONVIF exchange would hold the stop for a whole
    // request time-out.
    onvif.Abort();
}

bool CCommonRtspChannel::PrepareStream()
{
    const uint32_t kind = GetStreamParams().kind;
    ChannelTargets targets = ReadChannelTargets(GetChannelConfiguration(), channelIndex, kind);
    if ((targets.source.empty() || targets.encoder.empty()) && !mappingWarned) {
        DebugMessage(DebugWarning,
                     "ONVIF %s configuration is not associated with %s stream of %s video channel %u for %s device",
                     targets.source.empty() ? "Video Source" : "Video Encoder", NamesOfStreamKind(kind).word,
                     GetEncodingName().c_str(), channelIndex, driver->GetName().c_str());
        mappingWarned = true;
    }
    bool ok = false;
    if (onvif.Initialize(driver->GetParameterString(ParamOnvifAuthentication),
                         driver->GetParameterString(ParamCustomOnvifNamespaces))) {
        std::string encoderToken = targets.encoder;
        // Each step with the time the device took to answer it, for the opt-in trace.
        auto step = [&](const char* name, bool done, uint64_t since) {
            const auto ms = static_cast<unsigned>((CTime::Now() - since) / 10000);
            if (done)
                driver->DebugMessage(DebugTrace, "%s: ONVIF %s in %u ms",
                                     MethodName(kCommonRtspChannelClassName, "PrepareStream").c_str(), name, ms);
            else if (!IsStopping())
                driver->DebugMessage(DebugTrace, "%s: reason: ONVIF %s failed after %u ms%s",
                                     MethodName(kCommonRtspChannelClassName, "PrepareStream").c_str(), name, ms,
                                     LastError().c_str());
            return done;
        };
        uint64_t since = CTime::Now();
        ok = step("media profile", GetCompatibleMediaProfile(targets, encoderToken), since);
        ok = ok && step("encoder options", LoadVideoEncoderCapabilities(encoderToken), since = CTime::Now());
        ok = ok && step("encoder configuration", ApplyVideoEncoderConfiguration(encoderToken), since = CTime::Now());
        ok = ok && step("stream address", ReceiveStreamURI(GetProfileToken()), since = CTime::Now());
        if (ok) {
            CAutoLock guard(uriLock);
            driver->DebugMessage(DebugTrace, "%s: stream address %s",
                                 MethodName(kCommonRtspChannelClassName, "PrepareStream").c_str(),
                                 TraceAddress(streamUri).c_str());
        }
    }
    onvif.Reset();
    onvifRefusal.clear();
    if (ok) {
        messages.Clear();
    } else {
        const SoapFault fault = onvif.GetLastFault();
        const std::string subcode = fault.FindAuthenticationFault();
        if (fault.httpStatus == 401)
            onvifRefusal = "HTTP 401";
        else if (!subcode.empty())
            onvifRefusal = "SOAP " + subcode + " fault";
    }
    return ok;
}

bool CCommonRtspChannel::GetCompatibleMediaProfile(const ChannelTargets& targets, std::string& encoderToken)
{
    const std::string methodName = MethodName(kCommonRtspChannelClassName, "GetCompatibleMediaProfile");
    const char* const method = methodName.c_str();
    SelectProfile({});
    if (IsStopping())
        return false;
    if (targets.source.empty() || targets.encoder.empty()) {
        DebugMessage(
            DebugFailure,
            "%s: Unable to find compatible profile for channel %u of device %s - video encoder token or video source token is not specified",
            method, channelIndex, driver->GetName().c_str());
        return false;
    }
    std::vector<Onvif::MediaProfile> profiles;
    if (!onvif.GetProfiles(profiles)) {
        DebugMessage(DebugFailure, "%s: Unable to receive list of media profiles from device %s%s", method,
                     driver->GetName().c_str(), LastError().c_str());
        return false;
    }
    const std::string ownName = StreamProfileName(targets.source, GetStreamParams().kind);
    ProfileCandidates found = FindProfileCandidates(profiles, targets, ownName);
    if (found.byToken >= 0) {
        const Onvif::MediaProfile& profile = profiles[found.byToken];
        if (profile.IsValid() && profile.videoSourceConfiguration.IsValid() &&
            profile.videoEncoderConfiguration.IsValid()) {
            SelectProfile(profile.token);
            encoderToken = profile.videoEncoderConfiguration.token;
            return true;
        }
        return UpdateProfileConfigurations(profile, targets.source, targets.encoder);
    }
    if (found.byBindings >= 0) {
        SelectProfile(profiles[found.byBindings].token);
        return true;
    }
    if (found.byName >= 0) {
        const Onvif::MediaProfile& profile = profiles[found.byName];
        if (profile.IsComplete()) {
            SelectProfile(profile.token);
            encoderToken = profile.videoEncoderConfiguration.token;
            return true;
        }
        return UpdateProfileConfigurations(profile, targets.source, targets.encoder);
    }
    return CreateMediaProfile(ownName, targets.source, targets.encoder);
}

bool CCommonRtspChannel::CreateMediaProfile(const std::string& name, const std::string& sourceToken,
                                            const std::string& encoderToken)
{
    if (name.empty() || sourceToken.empty() || encoderToken.empty() || IsStopping())
        return false;
    std::string token;
    if (!onvif.CreateProfile(name, token)) {
        DebugMessage(DebugFailure, "%s: Unable to create new media profile with name \"%s\" for device %s%s",
                     MethodName(kCommonRtspChannelClassName, "CreateMediaProfile").c_str(), name.c_str(),
                     driver->GetName().c_str(), LastError().c_str());
        return false;
    }
    if (AddVideoSourceConfiguration(token, sourceToken) && AddVideoEncoderConfiguration(token, encoderToken)) {
        SelectProfile(token);
        return true;
    }
    onvif.DeleteProfile(token);
    return false;
}

bool CCommonRtspChannel::UpdateProfileConfigurations(const Onvif::MediaProfile& profile, const std::string& sourceToken,
                                                     const std::string& encoderToken)
{
    if (!profile.IsValid() || sourceToken.empty() || encoderToken.empty())
        return false;
    // A single-channel camera has one source; its binding is left as the camera made it.
    const bool rebindSource = driver->GetChannelCount() >= 2 && profile.videoSourceConfiguration.token != sourceToken;
    const bool rebindEncoder = profile.videoEncoderConfiguration.token != encoderToken;
    if (rebindSource || rebindEncoder) {
        if (!RemoveVideoEncoderConfiguration(profile))
            return false;
        if (rebindSource &&
            (!RemoveVideoSourceConfiguration(profile) || !AddVideoSourceConfiguration(profile.token, sourceToken)))
            return false;
        if (!AddVideoEncoderConfiguration(profile.token, encoderToken))
            return false;
    }
    SelectProfile(profile.token);
    return true;
}

bool CCommonRtspChannel::AddVideoEncoderConfiguration(const std::string& profileToken,
                                                      const std::string& configurationToken)
{
    if (IsStopping() || profileToken.empty() || configurationToken.empty())
        return false;
    if (onvif.AddVideoEncoderConfiguration(profileToken, configurationToken))
        return true;
    DebugMessage(DebugFailure, "%s: Unable to add video encoder configuration \"%s\" to profile \"%s\" for device %s%s",
                 MethodName(kCommonRtspChannelClassName, "AddVideoEncoderConfiguration").c_str(),
                 configurationToken.c_str(), profileToken.c_str(), driver->GetName().c_str(), LastError().c_str());
    return false;
}

bool CCommonRtspChannel::RemoveVideoEncoderConfiguration(const Onvif::MediaProfile& profile)
{
    if (IsStopping() || !profile.IsValid())
        return false;
    if (profile.videoEncoderConfiguration.token.empty())
        return true;
    if (onvif.RemoveVideoEncoderConfiguration(profile.token))
        return true;
    DebugMessage(DebugFailure, "%s: Unable to remove video encoder configuration from profile \"%s\" for device %s%s",
                 MethodName(kCommonRtspChannelClassName, "RemoveVideoEncoderConfiguration").c_str(),
                 profile.token.c_str(), driver->GetName().c_str(), LastError().c_str());
    return false;
}

bool CCommonRtspChannel::AddVideoSourceConfiguration(const std::string& profileToken,
                                                     const std::string& configurationToken)
{
    if (IsStopping() || profileToken.empty() || configurationToken.empty())
        return false;
    if (onvif.AddVideoSourceConfiguration(profileToken, configurationToken))
        return true;
    DebugMessage(DebugFailure, "%s: Unable to add video source configuration \"%s\" to profile \"%s\" for device %s%s",
                 MethodName(kCommonRtspChannelClassName, "AddVideoSourceConfiguration").c_str(),
                 configurationToken.c_str(), profileToken.c_str(), driver->GetName().c_str(), LastError().c_str());
    return false;
}

bool CCommonRtspChannel::RemoveVideoSourceConfiguration(const Onvif::MediaProfile& profile)
{
    if (IsStopping() || !profile.IsValid())
        return false;
    if (profile.videoSourceConfiguration.token.empty())
        return true;
    if (onvif.RemoveVideoSourceConfiguration(profile.token))
        return true;
    DebugMessage(DebugFailure, "%s: Unable to remove video source configuration from profile \"%s\" for device %s%s",
                 MethodName(kCommonRtspChannelClassName, "RemoveVideoSourceConfiguration").c_str(),
                 profile.token.c_str(), driver->GetName().c_str(), LastError().c_str());
    return false;
}

bool CCommonRtspChannel::ReceiveStreamURI(const std::string& profileToken)
{
    if (IsStopping() || profileToken.empty())
        return false;
    StreamUriRequest request;
    request.profileToken = profileToken;
    MediaUri answer;
    if (!onvif.GetStreamUri(request, answer)) {
        DebugMessage(DebugFailure, "%s: Unable to receive media stream URI for profile \"%s\" from device %s%s",
                     MethodName(kCommonRtspChannelClassName, "ReceiveStreamURI").c_str(), profileToken.c_str(),
                     driver->GetName().c_str(), LastError().c_str());
        return false;
    }
    CAutoLock guard(uriLock);
    streamUri = answer.uri;
    return true;
}

void CCommonRtspChannel::FillSessionSettings(RTSPSessionSettings& settings)
{
    std::string uri;
    {
        CAutoLock guard(uriLock);
        uri = streamUri;
    }
    if (uri.empty())
        return;
    settings.streamPath = StreamUriPath(uri);
    std::string portText = StreamUriPortText(uri);
    if (portText.empty())
        portText = driver->GetParameterString(ParamRtspPort);
    if (std::optional<uint16_t> port = ParsePortText(portText))
        settings.rtspPort = *port;
}

}  // namespace velkora
