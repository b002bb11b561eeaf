#include "channels/StreamUri.h"

namespace velkora {

std::string StreamUriPath(std::string_view uri)
{
    size_t mark = uri.find("://");
    if (mark == std::string_view::npos)
        return std::string(uri);
    size_t slash = uri.find('/', mark + 3);
    if (slash == std::string_view::npos)
        return {};
    return std::string(uri.substr(slash));
}

std::string StreamUriPortText(std::string_view uri)
{
    size_t mark = uri.find("://");
    if (mark == std::string_view::npos)
        return {};
    size_t begin = mark + 3;
    size_t slash = uri.find('/', begin);
    std::string_view authority =
        uri.substr(begin, slash == std::string_view::npos ? std::string_view::npos : slash - begin);
    size_t last = authority.find_last_of(":@");
    if (last == std::string_view::npos || authority[last] != ':')
        return {};
    return std::string(authority.substr(last + 1));
}

std::optional<uint16_t> ParsePortText(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

}  // namespace velkora
