#include "onvif/OnvifResults.h"

#include <algorithm>

namespace velkora {

namespace {
// Device ranges are untrusted: no camera streams faster than this, and an
// enumeration up to 2^32 would exhaust memory.
constexpr uint32_t kFrameRateCeiling = 1000;
}  // namespace

std::set<uint32_t> CodecOptions::AvailableFrameRates() const
{
    std::set<uint32_t> rates;
    if (frameRateMax == 0 || frameRateMin > frameRateMax)
        return rates;
    if (frameRateMin < frameRateMax) {
        const uint32_t top = std::min(frameRateMax, kFrameRateCeiling);
        for (uint32_t rate = std::max<uint32_t>(frameRateMin, 1); rate <= top; ++rate)
            rates.insert(rate);
        return rates;
    }
    if (encodingIntervalMin >= encodingIntervalMax) {
        rates.insert(frameRateMax);
        return rates;
    }
    // Intervals above twice the rate all round to 0; stopping there bounds the loop.
    const uint64_t last = std::min<uint64_t>(encodingIntervalMax, 2ull * frameRateMax + 1);
    for (uint64_t interval = std::max<uint32_t>(encodingIntervalMin, 1); interval <= last; ++interval) {
        const float value = static_cast<float>(frameRateMax) / static_cast<float>(interval) + 0.5f;
        const uint32_t rate = static_cast<uint32_t>(value);
        if (rate != 0)
            rates.insert(rate);
    }
    return rates;
}

std::vector<CodecOptions> EncoderOptions::OptionsForCodec(uint32_t codec) const
{
    std::vector<CodecOptions> result;
    for (const CodecOptions& options : codecs)
        if (options.codec == codec)
            result.push_back(options);
    return result;
}

}  // namespace velkora
