#pragma once

#include <cstdint>
#include <string>

#include <velkora/records.h>

#include "onvif/COnvifClient.h"

namespace velkora {

// What the host's stream request makes of an encoder configuration, within one option set.
struct EncoderChange {
    Onvif::VideoEncoderConfiguration configuration;
    bool required = false;  // encoding or resolution differ: the stream cannot be used as it is
    bool optional = false;  // only rates, quality, bitrate, GOV length or profile differ
};

struct EncoderLimits {
    const CodecOptions* optionSet = nullptr;
    uint32_t qualityMin = 0;
    uint32_t qualityMax = 0;
    uint32_t encodingKind = 3;  // which codec block is managed: 3 H.264, 2 MPEG-4
};

EncoderChange BuildEncoderConfiguration(const Onvif::VideoEncoderConfiguration& current, const EncoderLimits& limits,
                                        const StreamParams& params, const std::string& encodingName,
                                        const std::string& codecProfile);

}  // namespace velkora
