// Any bytes as the SDP body of a DESCRIBE answer. Lines may end in CR LF or LF alone:
// the same text with every LF made CR LF, parsed again by the same parser, must give
// the same description.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rtsp/CSDPResponseParser.h"

namespace {

std::string Summary(const velkora::MediaDescription& description)
{
    std::string text;
    for (int kind = 1; kind <= 3; ++kind) {
        const velkora::MediaBlock& block = *description.Block(kind);
        text += std::to_string(block.port) + "|" + block.protocol + "|" + block.connectionAddress + "|" +
                block.control + "|" + block.rtpMap + "|" + std::to_string(block.payloadType) + "\n";
    }
    for (const auto* bytes : {&description.sps, &description.pps, &description.config})
        text.append(bytes->begin(), bytes->end()).append("\n");
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view sdp(reinterpret_cast<const char*>(data), size);
    velkora::CSDPResponseParser parser;
    const bool parsed = parser.Parse(sdp);
    const std::string first = Summary(parser.Description());
    std::string crlf;
    for (char c : sdp)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    if (parser.Parse(crlf) != parsed || Summary(parser.Description()) != first)
        std::abort();
    return 0;
}
