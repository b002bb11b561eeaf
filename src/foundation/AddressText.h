#pragma once

#include <cstdint>
#include <string>

namespace velkora {

// Splits "host" or "host:port". Without a colon the port is defaultPort.
// Fails for an empty text, an empty host, and a port that is empty, not all
// decimal digits, 0 or above 65535 (never wrapped to a lower port).
bool SplitHostPort(const std::string& text, uint16_t defaultPort, std::string& host, uint16_t& port);

}  // namespace velkora
