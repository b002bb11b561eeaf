#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkora {

// Path and query of an address: from the first '/' after "://" to the end (empty when
// there is none); an address without "://" is a path already.
std::string StreamUriPath(std::string_view uri);

// The port text of an address: what follows the last ':' of the authority (the part
// after "://" up to the first '/'), unless an '@' comes after that ':' (a password, not
// a port). Empty when the address names no port.
std::string StreamUriPortText(std::string_view uri);

// A port text that is a decimal number from 1 to 65535; anything else (including values
// that would wrap) is no port.
std::optional<uint16_t> ParsePortText(std::string_view text);

}  // namespace velkora
