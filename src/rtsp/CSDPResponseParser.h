#pragma once

#include "rtsp/MediaDescription.h"

#include <string_view>

namespace velkora {

// Parses the SDP body of a DESCRIBE response into a MediaDescription.
class CSDPResponseParser
{
public:
    virtual ~CSDPResponseParser() = default;

    // Fills the description; any malformed line of interest fails the whole text.
    bool Parse(std::string_view sdp);

    const MediaDescription& Description() const { return description_; }

    // Bounds of the decoded parameter sets.
    static constexpr std::size_t kMaxParameterSetSize = 256;
    static constexpr std::size_t kMaxConfigSize = 1024;

private:
    bool ParseMediaLine(std::string_view line, int& kind);
    bool ParseConnectionLine(std::string_view line, int kind);
    bool ParseControlLine(std::string_view line, int kind);
    bool ParseRtpMapLine(std::string_view line, int kind);
    bool ParseVideoFormatLine(std::string_view line);

    MediaDescription description_;
};

}  // namespace velkora
