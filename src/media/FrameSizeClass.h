#pragma once

#include <cstdint>

namespace velkora {

// Picture size class handed to the host with every frame.
constexpr uint32_t GetFrameSizeClass(uint16_t width, uint16_t height)
{
    if (width < 200)
        return 1;
    if (width < 400)
        return 2;
    if (width >= 1024)
        return 4;
    return (uint32_t{width} > 2u * height) ? 3 : 4;
}

// Four-character frame type codes as the host reads them (little-endian 32-bit).
constexpr uint32_t MakeFrameTypeCode(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}
constexpr uint32_t kFrameTypeH264 = MakeFrameTypeCode('H', '2', '6', '4');  // holds an SPS
constexpr uint32_t kFrameTypeI264 = MakeFrameTypeCode('I', '2', '6', '4');

}  // namespace velkora
