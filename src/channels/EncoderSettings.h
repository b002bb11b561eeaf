#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace velkora {

// Pure arithmetic of the encoder configuration: how the host's stream request maps
// onto what one encoder option set offers.

// Frames per second the host asks for: the low 12 bits when bits 12-15 hold 7, else
// 1000 / interval-in-ms rounded; 0 means no request.
uint32_t RequestedFramesPerSecond(uint32_t frameRate);

// Frame rates an option set can deliver, ascending: the whole range, or for a fixed
// rate R the rates R / n (fraction dropped) over the encoding intervals n.
std::vector<uint32_t> OptionSetFrameRates(uint32_t rateMin, uint32_t rateMax, uint32_t intervalMin,
                                          uint32_t intervalMax);

struct FrameRateSetting {
    uint32_t frameRateLimit = 0;
    uint32_t encodingInterval = 0;
};

// Frame-rate limit and encoding interval for `requested` fps (0: none). A fixed-rate
// encoder reaches the request through the interval nearest to it.
FrameRateSetting ComputeFrameRate(uint32_t rateMin, uint32_t rateMax, uint32_t intervalMin, uint32_t intervalMax,
                                  uint32_t requested);

// Host quality 1..100 mapped linearly onto the encoder's quality range.
float MapQuality(uint32_t quality, uint32_t qualityMin, uint32_t qualityMax);

// Bitrate limit for the host quality within the encoder's bitrate range. The current
// limit stays when it is 0 (the encoder does not limit) or the range is unknown.
uint32_t MapBitrate(uint32_t currentLimit, uint32_t bitrateMin, uint32_t bitrateMax, uint32_t quality);

// GOV length: the requested rate (one I-frame a second) clamped to the range; unchanged
// without a request or a range.
uint32_t MapGovLength(uint32_t current, uint32_t govMin, uint32_t govMax, uint32_t requested);

// The smallest offered resolution not smaller than the request (ordered by width, then
// height), the largest when all are smaller, the request itself when none is offered.
// `resolutions` is an ordered range of records with `width` and `height`.
template <class Resolutions>
std::pair<uint16_t, uint16_t> PickResolution(const Resolutions& resolutions, uint16_t width, uint16_t height)
{
    bool any = false;
    std::pair<uint16_t, uint16_t> largest{width, height};
    for (const auto& r : resolutions) {
        std::pair<uint16_t, uint16_t> candidate{static_cast<uint16_t>(r.width), static_cast<uint16_t>(r.height)};
        if (candidate >= std::pair<uint16_t, uint16_t>{width, height})
            return candidate;
        if (!any || candidate > largest)
            largest = candidate;
        any = true;
    }
    return largest;
}

}  // namespace velkora
