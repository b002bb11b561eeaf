// The encoder half of the ONVIF channel: options, settings, and the resolution the
// stream is configured for.
#include <algorithm>

#include "channels/CCommonRtspChannel.h"
#include "channels/EncoderConfiguration.h"
#include "channels/EncoderSettings.h"
#include "foundation/MethodName.h"

namespace velkora {

namespace {

bool ListsResolution(const CodecOptions& set, uint16_t width, uint16_t height)
{
    for (const auto& r : set.resolutions)
        if (r.width == width && r.height == height)
            return true;
    return false;
}

bool OffersFrameRate(const CodecOptions& set, uint32_t rate)
{
    std::vector<uint32_t> rates =
        OptionSetFrameRates(set.frameRateMin, set.frameRateMax, set.encodingIntervalMin, set.encodingIntervalMax);
    return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

// Keeps the sets that pass, unless none does.
template <class Pred> void NarrowOptionSets(std::vector<CodecOptions>& sets, Pred pass)
{
    std::vector<CodecOptions> kept;
    for (const auto& set : sets)
        if (pass(set))
            kept.push_back(set);
    if (!kept.empty())
        sets.swap(kept);
}

}  // namespace

std::pair<uint16_t, uint16_t> CCommonRtspChannel::PickResolution()
{
    StreamParams p = GetStreamParams();
    CAutoLock guard(capsLock);
    return velkora::PickResolution(optionSet.resolutions, p.width, p.height);
}

bool CCommonRtspChannel::LoadVideoEncoderCapabilities(const std::string& encoderToken)
{
    const std::string methodName = MethodName(kCommonRtspChannelClassName, "LoadVideoEncoderCapabilities");
    const char* const method = methodName.c_str();
    if (IsStopping() || encoderToken.empty())
        return false;
    {
        CAutoLock guard(capsLock);
        if (capsEncoderToken == encoderToken)
            return true;
    }
    EncoderOptions options;
    if (!onvif.GetVideoEncoderConfigurationOptions(encoderToken, options)) {
        DebugMessage(DebugFailure,
                     "%s: Unable to receive video encoder options from device %s (encoder token: \"%s\")%s", method,
                     driver->GetName().c_str(), encoderToken.c_str(), LastError().c_str());
        return false;
    }
    std::vector<CodecOptions> sets = options.OptionsForCodec(encodingKind);
    if (sets.empty()) {
        DebugMessage(
            DebugFailure,
            "%s: No suitable option sets were found for encoder \"%s\" for device %s. Video stream cannot be configured",
            method, encoderToken.c_str(), driver->GetName().c_str());
        return false;
    }
    const StreamParams p = GetStreamParams();
    if (sets.size() > 1)
        NarrowOptionSets(sets, [&](const CodecOptions& s) { return ListsResolution(s, p.width, p.height); });
    const uint32_t requested = RequestedFramesPerSecond(p.frameRate);
    if (requested != 0 && sets.size() > 1)
        NarrowOptionSets(sets, [&](const CodecOptions& s) { return OffersFrameRate(s, requested); });
    CAutoLock guard(capsLock);
    qualityMin = options.qualityMin;
    qualityMax = options.qualityMax;
    optionSet = sets.front();
    capsEncoderToken = encoderToken;
    return true;
}

bool CCommonRtspChannel::ApplyVideoEncoderConfiguration(const std::string& encoderToken)
{
    const std::string methodName = MethodName(kCommonRtspChannelClassName, "ApplyVideoEncoderConfiguration");
    const char* const method = methodName.c_str();
    if (IsStopping() || encoderToken.empty())
        return false;
    Onvif::VideoEncoderConfiguration current;
    if (!onvif.GetVideoEncoderConfiguration(encoderToken, current)) {
        DebugMessage(DebugFailure,
                     "%s: Unable to receive current video configuration for \"%s\" encoder from device %s%s", method,
                     encoderToken.c_str(), driver->GetName().c_str(), LastError().c_str());
        return false;
    }
    EncoderChange change;
    {
        CAutoLock guard(capsLock);
        EncoderLimits limits{&optionSet, qualityMin, qualityMax, encodingKind};
        change = BuildEncoderConfiguration(current, limits, GetStreamParams(), GetEncodingName(),
                                           ChooseCodecProfile(optionSet.profiles));
    }
    if (!change.required && !change.optional)
        return true;
    // An encoder that keeps refusing only optional changes is left as it is.
    if (!change.required && optionalFailures > 3)
        return true;
    if (IsStopping())
        return false;
    if (onvif.SetVideoEncoderConfiguration(change.configuration))
        return true;
    DebugMessage(DebugFailure, "%s: Unable to set video configuration options for \"%s\" encoder of device %s%s",
                 method, encoderToken.c_str(), driver->GetName().c_str(), LastError().c_str());
    if (change.required)
        optionalFailures = 0;
    else
        ++optionalFailures;
    return false;
}

}  // namespace velkora
