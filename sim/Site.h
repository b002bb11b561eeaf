#pragma once

#include "sim/Simulator.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A fault for one camera of a site; camera 0: for all of them.
struct SiteFault {
    unsigned camera = 0;
    Fault fault;
};

// "[N:]SPEC": the fault SPEC for camera N, or for every camera without "N:".
std::optional<SiteFault> ParseSiteFault(const std::string& spec, std::string* error = nullptr);

struct SiteOptions {
    SimulatorOptions camera;  // what the cameras share; addresses and ports as below, log lines after "camera N "
    unsigned cameras = 1;
    // Unset: camera i listens on the i-th address counted from camera.bindAddress, each
    // on camera's ports, as a real site would. Set: all on camera.bindAddress, camera i
    // on the four ports from basePort + 4 (i - 1): ONVIF, RTSP, PTZ, discovery (0: free ports).
    std::optional<std::uint16_t> basePort;
    std::vector<SiteFault> faults;
};

// Independent simulated cameras in one process: each has its own device identity,
// profiles, encoder settings, RTSP sessions, PTZ heads, faults and addresses.
class Site
{
public:
    explicit Site(SiteOptions options);
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // Starts every camera, or none (false with `error`).
    bool Start(std::string* error = nullptr);
    void Stop();
    unsigned Size() const { return static_cast<unsigned>(cameras_.size()); }
    // Camera `number`, from 1.
    Simulator& Camera(unsigned number) { return *cameras_.at(number - 1); }
    const SimulatorOptions& CameraOptions(unsigned number) const { return options_.at(number - 1); }

private:
    SiteOptions site_;
    std::vector<SimulatorOptions> options_;
    std::vector<std::unique_ptr<Simulator>> cameras_;
};

}  // namespace sim
