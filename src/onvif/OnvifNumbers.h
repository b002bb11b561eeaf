#pragma once

#include <cstdint>
#include <string>

namespace Onvif {

// Strict decimal readings of device number texts: digits only (arithmetic
// modulo 2^32 / 2^16); an empty text or any other character gives 0.
uint32_t ParseUInt32(const std::string& text);
uint16_t ParseUInt16(const std::string& text);

// "-Inf"/"Inf" (any case, as a prefix) give the lowest/largest finite float;
// otherwise the leading decimal number as atof reads it, 0 when there is none.
float ParseFloat(const std::string& text);

// Whole numbers as "%d", others as "%1.5f" (1 -> "1", 0.25 -> "0.25000").
std::string FormatFloat(float value);

}  // namespace Onvif
