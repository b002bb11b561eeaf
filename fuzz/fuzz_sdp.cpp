// Any bytes as the SDP body of a DESCRIBE answer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rtsp/CSDPResponseParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    velkora::CSDPResponseParser parser;
    parser.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
