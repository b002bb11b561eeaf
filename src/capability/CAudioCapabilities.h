#pragma once

#include <cstdint>
#include <string>

namespace velkora {

// Audio channels of a device; reported to the host as "Count=%u; IsStereo=%u".
class CAudioCapabilities
{
public:
    virtual ~CAudioCapabilities() = default;

    std::string ToString() const;

    uint32_t count = 0;
    bool stereo = false;
};

}  // namespace velkora
