#include "channels/EncoderSettings.h"

#include <cmath>
#include <cstdlib>

namespace velkora {

namespace {

uint32_t ClampQuality(uint32_t quality)
{
    return quality < 1 ? 1 : (quality > 100 ? 100 : quality);
}

uint32_t Clamp(uint32_t value, uint32_t low, uint32_t high)
{
    if (value < low)
        return low;
    return value > high ? high : value;
}

}  // namespace

uint32_t RequestedFramesPerSecond(uint32_t frameRate)
{
    if (frameRate == 0)
        return 0;
    if ((frameRate & 0xF000) == 0x7000)
        return frameRate & 0x0FFF;
    return (1000 + frameRate / 2) / frameRate;
}

std::vector<uint32_t> OptionSetFrameRates(uint32_t rateMin, uint32_t rateMax, uint32_t intervalMin,
                                          uint32_t intervalMax)
{
    std::vector<uint32_t> rates;
    if (rateMax == 0 || rateMin > rateMax)
        return rates;
    if (rateMin < rateMax) {
        for (uint32_t r = rateMin == 0 ? 1 : rateMin; r <= rateMax; ++r)
            rates.push_back(r);
        return rates;
    }
    if (intervalMin >= intervalMax) {
        rates.push_back(rateMax);
        return rates;
    }
    // Larger intervals give smaller rates: walk them backwards for ascending order.
    for (uint32_t n = intervalMax; n >= intervalMin && n > 0; --n) {
        uint32_t rate = rateMax / n;
        if (rate != 0 && (rates.empty() || rates.back() != rate))
            rates.push_back(rate);
    }
    return rates;
}

FrameRateSetting ComputeFrameRate(uint32_t rateMin, uint32_t rateMax, uint32_t intervalMin, uint32_t intervalMax,
                                  uint32_t requested)
{
    FrameRateSetting setting;
    // An encoder that reports no interval range still encodes every frame.
    uint32_t smallestInterval = intervalMin == 0 ? 1 : intervalMin;
    if (rateMin == rateMax) {
        setting.frameRateLimit = rateMax;
        setting.encodingInterval = smallestInterval;
        if (requested == 0 || rateMax == 0)
            return setting;
        double best = -1;
        for (uint32_t n = smallestInterval; n <= intervalMax && n != 0; ++n) {
            double distance = std::fabs(static_cast<double>(rateMax) / n - requested);
            if (best < 0 || distance < best) {
                best = distance;
                setting.encodingInterval = n;
            }
            if (n == UINT32_MAX)
                break;
        }
        return setting;
    }
    setting.encodingInterval = smallestInterval;
    if (requested == 0)
        setting.frameRateLimit = rateMin;
    else if (rateMin > rateMax)
        setting.frameRateLimit = rateMax;  // an inverted range: stay within what the encoder can do
    else
        setting.frameRateLimit = Clamp(requested, rateMin, rateMax);
    return setting;
}

float MapQuality(uint32_t quality, uint32_t qualityMin, uint32_t qualityMax)
{
    if (qualityMax <= qualityMin)
        return static_cast<float>(qualityMin);
    float q = static_cast<float>(ClampQuality(quality));
    float low = static_cast<float>(qualityMin);
    float high = static_cast<float>(qualityMax);
    float value = low + (high - low) * (q - 1.0f) / 99.0f;
    if (value < low)
        return low;
    return value > high ? high : value;
}

uint32_t MapBitrate(uint32_t currentLimit, uint32_t bitrateMin, uint32_t bitrateMax, uint32_t quality)
{
    if (currentLimit == 0 || bitrateMax == 0)
        return currentLimit;
    if (bitrateMax == 32)
        return 32;
    uint32_t low = (bitrateMin < 32 && bitrateMax > 32) ? 32 : bitrateMin;
    if (low >= bitrateMax)
        return bitrateMax;
    double q = ClampQuality(quality);
    double value = low + static_cast<double>(bitrateMax - low) * (q - 1.0) / 99.0 + 0.5;
    return Clamp(static_cast<uint32_t>(value), low, bitrateMax);
}

uint32_t MapGovLength(uint32_t current, uint32_t govMin, uint32_t govMax, uint32_t requested)
{
    if (requested == 0 || govMax == 0)
        return current;
    if (govMin > govMax)
        return govMax;
    return Clamp(requested, govMin, govMax);
}

}  // namespace velkora
