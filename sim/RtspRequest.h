#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

struct RtspRequest {
    std::string method, url, version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // Value of the first header of this name (any case), blanks trimmed; empty when absent.
    std::string Header(std::string_view name) const;
};

enum class ParseStatus
{
    Complete,
    Incomplete,
    Malformed
};

inline constexpr std::size_t kMaxRtspHeaderBytes = 64 * 1024;
inline constexpr std::size_t kMaxRtspBodyBytes = 64 * 1024;

// Parses one request from the front of `buffer`; on Complete, `consumed` is its length.
// Oversized header blocks or bodies and malformed request lines are Malformed.
ParseStatus ParseRtspRequest(std::string_view buffer, RtspRequest& out, std::size_t& consumed);

// "/media/P1/trackID=1" from "rtsp://host:554/media/P1/trackID=1?x" (query dropped).
std::string UrlPath(const std::string& url);

}  // namespace sim
