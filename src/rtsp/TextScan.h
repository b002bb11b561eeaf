#pragma once

// Small text helpers shared by the RTSP and SDP parsers (internal to src/rtsp).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

std::string ToLower(std::string_view s);
std::string_view TrimBlanks(std::string_view s);                  // spaces and tabs
bool IsSpace(char c);                                             // as isspace in the C locale
std::vector<std::string_view> SplitAtBlanks(std::string_view s);  // empty tokens dropped

// Strict decimal: only the digits 0-9, anything else (or nothing) gives 0; modulo 2^32.
std::uint32_t StrictUnsigned(std::string_view s);

// scanf-like "%u": skips white space, takes an optional sign and at least one digit
// (modulo 2^32). Advances `s` past what it read.
bool ScanUnsigned(std::string_view& s, std::uint32_t& value);

// scanf-like literal match at the start of `s`, where a blank in `literal` matches any
// run of white space (also none). Advances `s` on success.
bool ScanLiteral(std::string_view& s, std::string_view literal);

}  // namespace velkora
