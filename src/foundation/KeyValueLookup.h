#pragma once

#include <string>
#include <string_view>

namespace velkora {

// Key lookup in a separated "key=value" text, for device and capability texts such as
// "Pan=1; Tilt=0; Preset=4" (separators "; \t\r\n", assignment "=").
// A key matches when the token holding it (the run between separator characters)
// reads, before the first assignment text, exactly the key once spaces and tabs are
// trimmed (case matters). The value runs from behind the assignment to the next
// separator character or the end of the text; empty values do not match and the
// search goes on. Empty key, assignment or separator set, or no match: empty result.
std::string LookupKeyValue(std::string_view text, std::string_view key, std::string_view assignment,
                           std::string_view separators);

// The same rule as protocol parsers use it: "the text after `key` and `assignment` up
// to one of `delimiters`". The first matching occurrence decides even when its value
// is empty (a "Session:" with nothing after the blank must read as empty, not fall
// through to a later key). The value is not trimmed.
std::string LookupDelimitedValue(std::string_view text, std::string_view key, std::string_view assignment,
                                 std::string_view delimiters);

}  // namespace velkora
