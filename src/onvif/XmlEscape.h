#pragma once

#include <string>
#include <string_view>

namespace velkora {

// Escapes & < > " ' so that a value can stand in element content or in a
// double-quoted attribute of the requests we write.
std::string XmlEscape(std::string_view value);

}  // namespace velkora
