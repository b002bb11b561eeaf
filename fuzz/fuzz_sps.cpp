// SPS search and parse over an Annex B buffer. A parse that succeeds read nothing past
// the buffer's end, so a unit that follows cannot change its result.
#include <cstdlib>
#include <vector>

#include "media/H264Sps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint16_t width = 0, height = 0;
    if (!velkora::ParseH264Sps(data, size, width, height))
        return 0;
    std::vector<uint8_t> followed(data, data + size);
    followed.insert(followed.end(), {0x00, 0x00, 0x01, 0x09, 0xF0});  // an access unit delimiter
    uint16_t againWidth = 0, againHeight = 0;
    if (!velkora::ParseH264Sps(followed.data(), followed.size(), againWidth, againHeight) || againWidth != width ||
        againHeight != height || width == 0 || height == 0)
        std::abort();
    return 0;
}
