#pragma once

#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/OnvifService.h"
#include "sim/PtzService.h"
#include "sim/RtspAuth.h"
#include "sim/RtspServer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct SimulatorOptions {
    std::string bindAddress = "127.0.0.1";
    std::uint16_t httpPort = 8000;  // ONVIF; 0 = a free port
    std::uint16_t rtspPort = 8554;
    std::uint16_t ptzPort = 8080;
    std::string user = "admin";
    std::string password = "admin";
    unsigned channels = 1;  // video sources; more than one makes a video server
    unsigned encoders = 2;  // encoder configurations per source
    std::string rtspUri;    // answered by GetStreamUri instead of the built-in server
    std::string logFile;    // appended: one line per request
    std::string clipsDir;   // empty: the clips of the source tree
    double pace = 1;        // frames sent this many times faster than their rate; timestamps unchanged
    bool onvifAuthFailureAs401 = false;
    RtspAuthMode rtspAuth = RtspAuthMode::Any;
    unsigned rtspSessionTimeout = 60;  // seconds without a request or RTCP report
    std::vector<Fault> faults;
    bool discovery = false;              // answer WS-Discovery probes
    std::uint16_t discoveryPort = 3702;  // 0 = a free port
    unsigned number = 1;                 // the camera's number in a site: its serial number and MAC address
    std::string logPrefix;               // put before each line of the log file (a site's cameras share it)
};

struct SimulatorPorts {
    std::uint16_t http = 0, rtsp = 0, ptz = 0;
    std::uint16_t discovery = 0;  // 0: not answering probes
};

// The ten device parameters a capability query of the simulator stores (parameter 1
// first), for hosts that open it without querying; `videoSource` is parameter 9.
inline std::vector<std::string> DeviceParameters(std::uint16_t rtspPort, std::string videoSource)
{
    return {"0",
            "1.0",
            "",
            "/onvif/device_service",
            "/onvif/media_service",
            "/onvif/ptz_service",
            "",
            "Digest",
            std::move(videoSource),
            std::to_string(rtspPort)};
}

// The channel configuration (device parameter 9) that gives kind 0 of channel i the
// simulator's profile i_1 and kind 1 its profile i_2, for hosts that open it without querying.
inline std::string FixedProfilesConfiguration(unsigned channels)
{
    std::string text;
    for (unsigned i = 0; i < channels; ++i) {
        const std::string c = std::to_string(i), n = std::to_string(i + 1);
        text += "source" + c + "=VideoSourceConfig_" + n + ";profile" + c + "=Profile_" + n + "_1;encoder" + c +
                "=VideoEncoderConfig_" + n + "_1;profile" + c + "Live=Profile_" + n + "_2;encoder" + c +
                "Live=VideoEncoderConfig_" + n + "_2;";
    }
    return text;
}

// The simulated camera: ONVIF device and media services, an RTSP server
// streaming the bundled clips over RTP, and the PTZ CGI, each on its own port.
class Simulator
{
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds and starts every service; false with `error` when one cannot start.
    bool Start(std::string* error = nullptr);
    void Stop();
    SimulatorPorts Ports() const;

    // rtsp://<bind>:<port>/media/<profile>, the address GetStreamUri gives for it.
    std::string StreamUrl(const std::string& profileToken) const;
    std::string OnvifDeviceUrl() const;

    // Why probes go unanswered although asked for (the port taken, say); empty otherwise.
    std::string DiscoveryError() const;

    // Changes the faults in force; bye-after and stop-after apply to streams played afterwards.
    void SetFaults(std::vector<Fault> faults);

    std::vector<std::string> RequestLog() const;
    // Every ONVIF request with its Authorization header and body, oldest first.
    std::vector<OnvifRequestRecord> OnvifRequests() const;
    bool WaitForRequest(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) const;
    PtzHead GetPtzHead(unsigned address) const;
    unsigned PtzAddress() const;
    RtspStats GetRtspStats() const;
    const DeviceModel& Device() const;

private:
    struct Parts;
    SimulatorOptions options_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace sim
