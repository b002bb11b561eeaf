#include "sim/RtspRequest.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace sim {

namespace {

std::string Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

bool IsToken(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

}  // namespace

std::string RtspRequest::Header(std::string_view name) const
{
    for (const auto& [n, v] : headers)
        if (SameName(n, name))
            return v;
    return {};
}

ParseStatus ParseRtspRequest(std::string_view buffer, RtspRequest& out, std::size_t& consumed)
{
    const auto end = buffer.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return buffer.size() > kMaxRtspHeaderBytes ? ParseStatus::Malformed : ParseStatus::Incomplete;
    if (end > kMaxRtspHeaderBytes)
        return ParseStatus::Malformed;

    out = RtspRequest{};
    const std::string_view head = buffer.substr(0, end);
    std::size_t pos = head.find("\r\n");
    const std::string_view line = head.substr(0, pos);
    const auto s1 = line.find(' ');
    const auto s2 = s1 == std::string_view::npos ? s1 : line.find(' ', s1 + 1);
    if (s2 == std::string_view::npos)
        return ParseStatus::Malformed;
    out.method = std::string(line.substr(0, s1));
    out.url = std::string(line.substr(s1 + 1, s2 - s1 - 1));
    out.version = std::string(line.substr(s2 + 1));
    if (!IsToken(out.method) || !IsToken(out.url) || out.version.compare(0, 5, "RTSP/") != 0)
        return ParseStatus::Malformed;

    while (pos != std::string_view::npos) {
        const std::size_t start = pos + 2;
        pos = head.find("\r\n", start);
        const std::string_view h =
            head.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
        const auto colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return ParseStatus::Malformed;
        out.headers.emplace_back(Trim(h.substr(0, colon)), Trim(h.substr(colon + 1)));
    }

    std::size_t length = 0;
    if (std::string cl = out.Header("Content-Length"); !cl.empty()) {
        if (cl.size() > 6 || cl.find_first_not_of("0123456789") != std::string::npos)
            return ParseStatus::Malformed;
        length = std::strtoul(cl.c_str(), nullptr, 10);
        if (length > kMaxRtspBodyBytes)
            return ParseStatus::Malformed;
    }
    if (buffer.size() < end + 4 + length)
        return ParseStatus::Incomplete;
    out.body = std::string(buffer.substr(end + 4, length));
    consumed = end + 4 + length;
    return ParseStatus::Complete;
}

std::string UrlPath(const std::string& url)
{
    std::string path = url;
    if (auto scheme = url.find("://"); scheme != std::string::npos) {
        const auto slash = url.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : url.substr(slash);
    }
    if (auto q = path.find('?'); q != std::string::npos)
        path.resize(q);
    return path;
}

}  // namespace sim
