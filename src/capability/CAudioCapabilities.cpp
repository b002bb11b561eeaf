#include "capability/CAudioCapabilities.h"

#include <cstdio>

namespace velkora {

std::string CAudioCapabilities::ToString() const
{
    char text[48];
    std::snprintf(text, sizeof(text), "Count=%u; IsStereo=%u", count, stereo ? 1u : 0u);
    return text;
}

}  // namespace velkora
