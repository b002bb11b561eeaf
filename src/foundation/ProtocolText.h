#pragma once
// Checks on text that goes into a protocol line (an RTSP or HTTP request line or header).

#include <cstddef>
#include <string_view>
#include <vector>

namespace velkora {

// True when `text` holds CR, LF or NUL: text from outside (a user name, a password, a
// device's stream address, session or nonce) that could end a line or add one.
inline bool HasLineBreak(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// One scheme word of a WWW-Authenticate value, by its place in the value.
struct ChallengeWord {
    std::size_t start;
    std::size_t end;
};

// The scheme words of a WWW-Authenticate value: a word at its start or after a comma
// (outside quotes, which may hold commas and scheme-like words) that is not a parameter
// name ("realm="). Several challenges may share one header.
std::vector<ChallengeWord> ChallengeWords(std::string_view value);

// ASCII comparison regardless of case (scheme names and header names).
bool SameWordIgnoringCase(std::string_view a, std::string_view b);

}  // namespace velkora
