#pragma once

#include <cstdint>

#include "foundation/CRecursiveLock.h"
#include "foundation/FileTime.h"

namespace velkora {

// A wall-clock stamp that one thread updates and another reads.
class CTime
{
public:
    CTime() : stamp(GetSystemTimeAsFileTime()) {}
    virtual ~CTime() = default;

    void Update();
    uint64_t Get();
    void Set(uint64_t fileTime);
    // Milliseconds since the stamp; 0 when the stamp is not in the past.
    uint32_t ElapsedMs();

private:
    CRecursiveLock lock;
    uint64_t stamp;
};

} // namespace velkora
