#include "onvif/DeviceClockOffsets.h"

namespace velkora {

DeviceClockOffsets& DeviceClockOffsets::Shared()
{
    static DeviceClockOffsets table;
    return table;
}

int64_t DeviceClockOffsets::Get(const std::string& device) const
{
    std::lock_guard<std::mutex> guard(lock);
    const auto it = entries.find(device);
    return it == entries.end() ? 0 : it->second.seconds;
}

void DeviceClockOffsets::Set(const std::string& device, int64_t seconds)
{
    std::lock_guard<std::mutex> guard(lock);
    entries[device].seconds = seconds;
}

bool DeviceClockOffsets::ClaimAnnouncement(const std::string& device)
{
    std::lock_guard<std::mutex> guard(lock);
    Entry& entry = entries[device];
    if (entry.announced)
        return false;
    entry.announced = true;
    return true;
}

}  // namespace velkora
