#pragma once
// printf-style formatting into a std::string, whatever the length.

#include <cstdarg>
#include <string>

namespace velkora {

// Empty when the format gives no characters or fails. Leaves args unconsumed
// for the caller's va_end.
std::string FormatTextV(const char* format, va_list args);

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velkora
