#include "onvif/OnvifNumbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <strings.h>

namespace Onvif {

namespace {

template <typename T> T ParseDigits(const std::string& text)
{
    T value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = static_cast<T>(value * 10u + static_cast<unsigned>(c - '0'));
    }
    return value;
}

}  // namespace

uint32_t ParseUInt32(const std::string& text)
{
    return ParseDigits<uint32_t>(text);
}

uint16_t ParseUInt16(const std::string& text)
{
    return ParseDigits<uint16_t>(text);
}

float ParseFloat(const std::string& text)
{
    if (text.empty())
        return 0.0f;
    if (strncasecmp(text.c_str(), "-Inf", 4) == 0)
        return std::numeric_limits<float>::lowest();
    if (strncasecmp(text.c_str(), "Inf", 3) == 0)
        return std::numeric_limits<float>::max();
    return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::string FormatFloat(float value)
{
    char buffer[64];
    // The range check keeps the truncation defined for NaN and huge values.
    if (std::isfinite(value) && value >= -2147483648.0f && value < 2147483648.0f &&
        static_cast<float>(static_cast<int32_t>(value)) == value)
        std::snprintf(buffer, sizeof(buffer), "%d", static_cast<int>(static_cast<int32_t>(value)));
    else
        std::snprintf(buffer, sizeof(buffer), "%1.5f", static_cast<double>(value));
    return buffer;
}

}  // namespace Onvif
