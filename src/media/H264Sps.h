#pragma once

#include <cstddef>
#include <cstdint>

namespace velkora {

// Finds an SPS NAL unit (after a 00 00 01 start code within the first 64 bytes of an
// Annex B buffer) and reads the luma picture size from it, cropping applied.
// Emulation-prevention bytes (00 00 03) are skipped while reading.
bool ParseH264Sps(const uint8_t* buffer, size_t length, uint16_t& width, uint16_t& height);

}  // namespace velkora
