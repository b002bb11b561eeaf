#include "rtsp/TextScan.h"

namespace velkora {

std::string ToLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::vector<std::string_view> SplitAtBlanks(std::string_view s)
{
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < s.size()) {
        const auto start = s.find_first_not_of(" \t", at);
        if (start == std::string_view::npos)
            break;
        auto end = s.find_first_of(" \t", start);
        if (end == std::string_view::npos)
            end = s.size();
        tokens.push_back(s.substr(start, end - start));
        at = end;
    }
    return tokens;
}

std::uint32_t StrictUnsigned(std::string_view s)
{
    std::uint32_t value = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

bool ScanUnsigned(std::string_view& s, std::uint32_t& value)
{
    std::size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const std::size_t digits = i;
    std::uint32_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = v * 10 + static_cast<std::uint32_t>(s[i] - '0');
    if (i == digits)
        return false;
    value = negative ? 0u - v : v;
    s.remove_prefix(i);
    return true;
}

bool ScanLiteral(std::string_view& s, std::string_view literal)
{
    std::size_t i = 0;
    for (const char want : literal) {
        if (IsSpace(want)) {
            while (i < s.size() && IsSpace(s[i]))
                ++i;
        } else if (i < s.size() && s[i] == want) {
            ++i;
        } else {
            return false;
        }
    }
    s.remove_prefix(i);
    return true;
}

}  // namespace velkora
