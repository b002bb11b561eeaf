#include "foundation/CDebugInfo.h"

#include <cstring>
#include <new>

namespace velkora {

CDebugInfo::CDebugInfo(uint8_t level, const char* message) : level(level), text(nullptr)
{
    if (!message || !*message)
        return;
    const size_t length = std::strlen(message);
    text = new (std::nothrow) char[length + 1];
    if (text)
        std::memcpy(text, message, length + 1);
}

CDebugInfo::~CDebugInfo()
{
    delete[] text;
}

}  // namespace velkora
