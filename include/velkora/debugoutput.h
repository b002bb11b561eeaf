#pragma once
// Diagnostic messages as the host receives them.

#include <cstdint>

namespace velkora {

// One message, valid only during the host's Output call.
class CDebugInfoIf
{
public:
    virtual ~CDebugInfoIf() = default;        // slot 0
    virtual uint8_t GetLevel() const = 0;     // slot 1
    virtual const char* GetText() const = 0;  // slot 2: null for an empty message
};

namespace ipcapture {

class IHostDebugOutput
{
public:
    virtual ~IHostDebugOutput() = default;           // slot 0
    virtual void Output(CDebugInfoIf* message) = 0;  // slot 1
};

}  // namespace ipcapture
}  // namespace velkora
