// SPS search and parse over an Annex B buffer.
#include "media/H264Sps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint16_t width = 0, height = 0;
    velkora::ParseH264Sps(data, size, width, height);
    return 0;
}
