#include "foundation/ProtocolText.h"

#include <algorithm>
#include <cctype>

namespace velkora {

std::vector<ChallengeWord> ChallengeWords(std::string_view value)
{
    std::vector<ChallengeWord> words;
    bool segmentStart = true;
    std::size_t pos = 0;
    while (pos < value.size()) {
        const char c = value[pos];
        if (c == '"') {
            for (++pos; pos < value.size() && value[pos] != '"'; ++pos)
                if (value[pos] == '\\')
                    ++pos;
            ++pos;
        } else if (c == ',') {
            segmentStart = true;
            ++pos;
        } else if (c == ' ' || c == '\t' || !segmentStart) {
            ++pos;
        } else {
            const std::size_t end = std::min(value.find_first_of(" \t,=", pos), value.size());
            const std::size_t next = value.find_first_not_of(" \t", end);
            if (next == std::string_view::npos || value[next] != '=')
                words.push_back({pos, end});
            segmentStart = false;
            pos = end;
        }
    }
    return words;
}

bool SameWordIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace velkora
