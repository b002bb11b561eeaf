// Any bytes as a WS-Discovery answer, read twice: the second reading must only merge.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "onvif/ProbeMatches.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using velkora::Onvif::DiscoveredDevices;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    DiscoveredDevices devices;
    devices.Add(answer);
    const std::size_t count = devices.Devices().size();
    devices.Add(answer);
    if (devices.Devices().size() != count || count > DiscoveredDevices::kMaxMatchesPerAnswer)
        std::abort();
    std::set<std::string> endpoints;
    for (const auto& d : devices.Devices()) {
        if (d.endpoint.empty() || d.endpoint.size() > DiscoveredDevices::kMaxText ||
            !endpoints.insert(d.endpoint).second || d.xaddrs.size() > DiscoveredDevices::kMaxItems ||
            d.scopes.size() > DiscoveredDevices::kMaxItems)
            std::abort();
        if (d.Served() && d.DeviceAddress().compare(0, 7, "http://") != 0)
            std::abort();
    }
    return 0;
}
