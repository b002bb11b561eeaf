#pragma once
// Message interface that every component logs through. Messages are
// printf-style; the first field is the qualified method name.

#include <cstdint>
#include <string>

namespace velkora {

enum DebugLevel : int32_t
{
    DebugFailure = 1,
    DebugWarning = 2,
    DebugNotice = 3,
    DebugTrace = 4,     // delivered only when the trace is asked for (foundation/Trace.h)
    DebugOpened = 100,  // the driver-opened line
};

class IDebugMessage
{
public:
    virtual ~IDebugMessage() = default;  // slot 0
    // The device as named in messages: host, colon, port.
    virtual std::string GetName() = 0;  // slot 1
    // Safe from any thread; never throws.
    virtual void DebugMessage(int32_t level, const char* format, ...)
        __attribute__((format(printf, 3, 4))) = 0;  // slot 2
};

}  // namespace velkora
