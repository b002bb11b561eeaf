#pragma once
// Checks on text that goes into a protocol line (an RTSP or HTTP request line or header).

#include <string_view>

namespace velkora {

// True when `text` holds CR, LF or NUL: text from outside (a user name, a password, a
// device's stream address, session or nonce) that could end a line or add one.
inline bool HasLineBreak(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace velkora
