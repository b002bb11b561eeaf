#include "foundation/AddressText.h"

namespace velkora {

bool SplitHostPort(const std::string& text, uint16_t defaultPort, std::string& host, uint16_t& port)
{
    if (text.empty())
        return false;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        host = text;
        port = defaultPort;
        return true;
    }
    if (colon == 0 || colon + 1 == text.size())
        return false;
    uint32_t value = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 0xFFFF)
            return false;  // refused rather than wrapped onto another port
    }
    if (value == 0)
        return false;
    host = text.substr(0, colon);
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace velkora
