#include "foundation/KeyValueLookup.h"

namespace velkora {

namespace {

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string Lookup(std::string_view text, std::string_view key, std::string_view assignment,
                   std::string_view separators, bool acceptEmptyValue)
{
    constexpr auto npos = std::string_view::npos;
    if (key.empty() || assignment.empty() || separators.empty())
        return {};
    std::size_t pos = text.find(key);
    while (pos != npos) {
        const std::size_t lastSep = text.find_last_of(separators, pos);
        const std::size_t tokenStart = lastSep == npos ? 0 : lastSep + 1;
        std::size_t tokenEnd = text.find_first_of(separators, pos);
        if (tokenEnd == npos)
            tokenEnd = text.size();
        const std::size_t assign = text.find(assignment, pos);
        if (assign == npos)
            return {};
        std::size_t resume;
        if (assign < tokenEnd) {
            const std::size_t valueStart = assign + assignment.size();
            std::size_t valueEnd = text.find_first_of(separators, valueStart);
            if (valueEnd == npos)
                valueEnd = text.size();
            // The separator may begin inside the assignment text itself.
            if (valueEnd < valueStart)
                valueEnd = valueStart;
            if (TrimBlanks(text.substr(tokenStart, assign - tokenStart)) == key &&
                (acceptEmptyValue || valueEnd > valueStart)) {
                return std::string(text.substr(valueStart, valueEnd - valueStart));
            }
            resume = tokenEnd;
        } else {
            resume = assign;
        }
        if (resume <= pos)
            resume = pos + 1;  // a key that begins with a separator
        if (resume >= text.size())
            return {};
        pos = text.find(key, resume);
    }
    return {};
}

}  // namespace

std::string LookupKeyValue(std::string_view text, std::string_view key, std::string_view assignment,
                           std::string_view separators)
{
    return Lookup(text, key, assignment, separators, false);
}

std::string LookupDelimitedValue(std::string_view text, std::string_view key, std::string_view assignment,
                                 std::string_view delimiters)
{
    return Lookup(text, key, assignment, delimiters, true);
}

}  // namespace velkora
