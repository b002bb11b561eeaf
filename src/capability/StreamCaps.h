#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>

namespace velkora {

// Codec numbers as the capability store knows them.
constexpr uint32_t CapsCodecH264 = 1;
constexpr uint32_t CapsCodecMpeg4 = 2;
constexpr uint32_t CapsCodecJpeg = 3;

// What one video stream of a device offers.
struct StreamCaps {
    using Size = std::pair<uint16_t, uint16_t>;  // width, height

    std::set<uint32_t> codecs;
    // Each resolution with the highest frame rate offered at it; 0 = none given.
    std::map<Size, uint32_t> resolutions;
    std::set<uint32_t> framerates;
    uint32_t defaultFramerate = 0;  // 0 = none given

    void Clear()
    {
        codecs.clear();
        resolutions.clear();
        framerates.clear();
        defaultFramerate = 0;
    }
};

}  // namespace velkora
