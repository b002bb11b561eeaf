#include "foundation/Trace.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace velkora {

namespace {

bool IsCredentialName(std::string_view name)
{
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* whole : {"u", "p", "pw", "usr", "psw"})
        if (lower == whole)
            return true;
    for (const char* part : {"user", "pass", "pwd", "token", "auth", "secret", "key", "cred", "login", "sign"})
        if (lower.find(part) != std::string::npos)
            return true;
    return false;
}

// The query (after '?') with the values of credential-like parameters masked.
std::string MaskedQuery(std::string_view query)
{
    std::string out;
    size_t start = 0;
    while (start <= query.size()) {
        const size_t end = std::min(query.find_first_of("&;", start), query.size());
        const std::string_view parameter = query.substr(start, end - start);
        const size_t equals = parameter.find('=');
        if (equals != std::string_view::npos && IsCredentialName(parameter.substr(0, equals)))
            out.append(parameter.substr(0, equals + 1)).append("***");
        else
            out.append(parameter);
        if (end < query.size())
            out += query[end];
        start = end + 1;
    }
    return out;
}

}  // namespace

bool TraceRequested()
{
    const char* value = std::getenv("HARNOQUISTEL_TRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string TraceText(std::string_view untrusted, size_t limit)
{
    std::string text;
    for (char c : untrusted.substr(0, limit))
        text += c >= 0x20 && c < 0x7f ? c : '?';
    if (untrusted.size() > limit)
        text += "...";
    return text;
}

std::string TraceAddress(std::string_view address, size_t limit)
{
    std::string shown(address);
    const size_t scheme = shown.find("://");
    const size_t authority = scheme == std::string::npos ? 0 : scheme + 3;
    if (scheme != std::string::npos) {
        const size_t at = shown.substr(0, shown.find_first_of("?#", authority)).rfind('@');
        if (at != std::string::npos && at >= authority)
            shown.erase(authority, at + 1 - authority);
    }
    const size_t query = shown.find('?', authority);
    if (query != std::string::npos) {
        const size_t fragment = std::min(shown.find('#', query), shown.size());
        shown = shown.substr(0, query + 1) +
                MaskedQuery(std::string_view(shown).substr(query + 1, fragment - query - 1)) + shown.substr(fragment);
    }
    return TraceText(shown, limit);
}

}  // namespace velkora
