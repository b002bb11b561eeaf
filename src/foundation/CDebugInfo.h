#pragma once

#include <cstdint>

#include <velkora/debugoutput.h>

namespace velkora {

// A message handed to the host's debug output for the duration of one call.
class CDebugInfo : public CDebugInfoIf
{
public:
    CDebugInfo(uint8_t level, const char* text);
    ~CDebugInfo() override;
    CDebugInfo(const CDebugInfo&) = delete;
    CDebugInfo& operator=(const CDebugInfo&) = delete;

    uint8_t GetLevel() const override { return level; }
    const char* GetText() const override { return text; }

private:
    uint8_t level;
    char* text;  // null for a null or empty message
};

}  // namespace velkora
