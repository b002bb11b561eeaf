#include "channels/EncoderConfiguration.h"

#include "channels/EncoderSettings.h"

namespace velkora {

EncoderChange BuildEncoderConfiguration(const Onvif::VideoEncoderConfiguration& current, const EncoderLimits& limits,
                                        const StreamParams& params, const std::string& encodingName,
                                        const std::string& codecProfile)
{
    static const CodecOptions kNoOptions;
    const CodecOptions& options = limits.optionSet ? *limits.optionSet : kNoOptions;
    const uint32_t requested = RequestedFramesPerSecond(params.frameRate);

    EncoderChange change;
    Onvif::VideoEncoderConfiguration& next = change.configuration;
    next = current;
    next.encoding = encodingName;
    std::pair<uint16_t, uint16_t> resolution = PickResolution(options.resolutions, params.width, params.height);
    next.width = resolution.first;
    next.height = resolution.second;
    next.quality = MapQuality(params.quality, limits.qualityMin, limits.qualityMax);
    FrameRateSetting rate = ComputeFrameRate(options.frameRateMin, options.frameRateMax, options.encodingIntervalMin,
                                             options.encodingIntervalMax, requested);
    next.frameRateLimit = rate.frameRateLimit;
    next.encodingInterval = rate.encodingInterval;
    next.bitrateLimit = MapBitrate(current.bitrateLimit, options.bitrateMin, options.bitrateMax, params.quality);
    Onvif::CodecSettings* codec =
        limits.encodingKind == 3 ? &next.h264 : (limits.encodingKind == 2 ? &next.mpeg4 : nullptr);
    const Onvif::CodecSettings* was =
        limits.encodingKind == 3 ? &current.h264 : (limits.encodingKind == 2 ? &current.mpeg4 : nullptr);
    if (codec) {
        codec->govLength = MapGovLength(codec->govLength, options.govLengthMin, options.govLengthMax, requested);
        // An option set naming no profile we know leaves the camera's own: an empty
        // profile element is not a valid encoder setting.
        if (!codecProfile.empty())
            codec->profile = codecProfile;
    }

    change.required = next.encoding != current.encoding || next.width != current.width || next.height != current.height;
    change.optional = (codec && (codec->govLength != was->govLength || codec->profile != was->profile)) ||
                      next.frameRateLimit != current.frameRateLimit ||
                      next.encodingInterval != current.encodingInterval || next.bitrateLimit != current.bitrateLimit ||
                      static_cast<int64_t>(next.quality) != static_cast<int64_t>(current.quality);
    return change;
}

}  // namespace velkora
