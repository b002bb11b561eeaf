#include "foundation/Trace.h"

#include <cstdlib>
#include <cstring>

namespace velkora {

bool TraceRequested()
{
    const char* value = std::getenv("HARNOQUISTEL_TRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::string TraceText(std::string_view untrusted, size_t limit)
{
    std::string text;
    for (char c : untrusted.substr(0, limit))
        text += c >= 0x20 && c < 0x7f ? c : '?';
    if (untrusted.size() > limit)
        text += "...";
    return text;
}

}  // namespace velkora
