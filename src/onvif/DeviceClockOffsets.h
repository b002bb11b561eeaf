#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace velkora {

// How far each device's clock is from ours, in seconds (device minus ours).
class DeviceClockOffsets
{
public:
    // Process-wide: a channel's ONVIF client and the capability query's reach one device separately.
    static DeviceClockOffsets& Shared();

    // 0 when not measured.
    int64_t Get(const std::string& device) const;
    void Set(const std::string& device, int64_t seconds);
    // True once per device: the one message about its clock is said.
    bool ClaimAnnouncement(const std::string& device);

private:
    struct Entry {
        int64_t seconds = 0;
        bool announced = false;
    };
    mutable std::mutex lock;
    std::map<std::string, Entry> entries;
};

}  // namespace velkora
