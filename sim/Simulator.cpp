#include "sim/Simulator.h"

#include "sim/Clip.h"
#include "sim/DiscoveryResponder.h"
#include "sim/OnvifService.h"
#include "sim/RequestLog.h"
#include "sim/StopSignal.h"

namespace sim {

struct Simulator::Parts {
    StopSignal stop;
    FaultSet faults;
    sim::RequestLog log;
    ClipLibrary clips;
    std::unique_ptr<DeviceModel> model;
    std::unique_ptr<PtzMotion> heads;  // shared by the CGI and the ONVIF PTZ service
    std::unique_ptr<RtspServer> rtsp;
    std::unique_ptr<OnvifService> onvif;
    std::unique_ptr<PtzService> ptz;
    std::unique_ptr<DiscoveryResponder> discovery;
    std::string discoveryError;
    bool running = false;
};

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)), parts_(std::make_unique<Parts>()) {}

Simulator::~Simulator()
{
    Stop();
}

bool Simulator::Start(std::string* error)
{
    Stop();
    parts_ = std::make_unique<Parts>();
    Parts& p = *parts_;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        Stop();
        return false;
    };
    if (options_.channels < 1 || options_.channels > 16)
        return fail("channels must be 1 to 16");
    if (options_.encoders < 1 || options_.encoders > 8)
        return fail("encoders must be 1 to 8");
    if (!(options_.pace > 0 && options_.pace <= 1000))
        return fail("pace must be above 0 and at most 1000");
    p.faults.Set(options_.faults);
    if (!options_.logFile.empty() && !p.log.OpenFile(options_.logFile, options_.logPrefix))
        return fail("cannot open log file " + options_.logFile);
    std::string why;
    if (!p.clips.Load(options_.clipsDir.empty() ? BundledClipsDirectory() : options_.clipsDir, &why))
        return fail(why);
    p.model = std::make_unique<DeviceModel>(options_.channels, options_.encoders, p.clips.Sizes());

    p.rtsp = std::make_unique<RtspServer>(
        *p.model, p.clips, p.faults, p.log, p.stop,
        RtspSettings{options_.user, options_.password, options_.rtspAuth, options_.pace, options_.rtspSessionTimeout});
    if (!p.rtsp->Start(options_.bindAddress, options_.rtspPort, &why))
        return fail(why);
    OnvifSettings onvif{options_.user, options_.password, options_.onvifAuthFailureAs401, options_.rtspUri};
    if (options_.channels > 1)
        onvif.model = "Simulated Video Server";
    onvif.number = options_.number;
    p.onvif = std::make_unique<OnvifService>(*p.model, p.faults, p.log, p.stop, onvif);
    p.onvif->SetRtspPort(p.rtsp->Port());
    p.heads = std::make_unique<PtzMotion>(options_.channels);
    p.onvif->SetPtzHeads(p.heads.get());
    auto pictures = std::make_shared<SnapshotLibrary>();
    pictures->Load(options_.clipsDir.empty() ? BundledClipsDirectory() : options_.clipsDir);
    p.onvif->SetSnapshots(std::move(pictures));
    if (!p.onvif->Start(options_.bindAddress, options_.httpPort, &why))
        return fail(why);
    p.ptz = std::make_unique<PtzService>(*p.heads, options_.user, options_.password, p.faults, p.log, p.stop);
    if (!p.ptz->Start(options_.bindAddress, options_.ptzPort, &why))
        return fail(why);
    if (options_.discovery) {
        // A camera without discovery still works, so a taken port only turns it off.
        DiscoveryIdentity identity{"", OnvifDeviceUrl(), {}};
        for (const auto& scope : p.onvif->Scopes())
            identity.scopes.push_back(scope.second);
        p.discovery = std::make_unique<DiscoveryResponder>(std::move(identity), p.log);
        if (!p.discovery->Start(options_.bindAddress, options_.discoveryPort, &p.discoveryError))
            p.discovery.reset();
    }
    p.running = true;
    return true;
}

void Simulator::Stop()
{
    if (!parts_)
        return;
    Parts& p = *parts_;
    p.stop.Raise();  // wakes injected delays so that handlers return at once
    if (p.onvif)
        p.onvif->Stop();
    if (p.ptz)
        p.ptz->Stop();
    if (p.rtsp)
        p.rtsp->Stop();
    if (p.discovery)
        p.discovery->Stop();
    p.running = false;
}

SimulatorPorts Simulator::Ports() const
{
    const Parts& p = *parts_;
    return {p.onvif ? p.onvif->Port() : std::uint16_t{0}, p.rtsp ? p.rtsp->Port() : std::uint16_t{0},
            p.ptz ? p.ptz->Port() : std::uint16_t{0}, p.discovery ? p.discovery->Port() : std::uint16_t{0}};
}

std::string Simulator::StreamUrl(const std::string& profileToken) const
{
    return "rtsp://" + options_.bindAddress + ":" + std::to_string(Ports().rtsp) + "/media/" + profileToken;
}

std::string Simulator::OnvifDeviceUrl() const
{
    return "http://" + options_.bindAddress + ":" + std::to_string(Ports().http) + "/onvif/device_service";
}

std::string Simulator::DiscoveryError() const
{
    return parts_->discoveryError;
}

void Simulator::SetFaults(std::vector<Fault> faults)
{
    parts_->faults.Set(std::move(faults));
    if (parts_->rtsp)
        parts_->rtsp->RefreshListening();
}

std::vector<std::string> Simulator::RequestLog() const
{
    return parts_->log.Lines();
}

std::vector<OnvifRequestRecord> Simulator::OnvifRequests() const
{
    return parts_->onvif ? parts_->onvif->Requests() : std::vector<OnvifRequestRecord>{};
}

bool Simulator::WaitForRequest(const std::function<bool(const std::string&)>& match,
                               std::chrono::milliseconds timeout) const
{
    return parts_->log.WaitFor(match, timeout);
}

PtzHead Simulator::GetPtzHead(unsigned address) const
{
    return parts_->ptz ? parts_->ptz->Head(address) : PtzHead{};
}

unsigned Simulator::PtzAddress() const
{
    return parts_->ptz ? parts_->ptz->SelectedAddress() : 1;
}

RtspStats Simulator::GetRtspStats() const
{
    return parts_->rtsp ? parts_->rtsp->Stats() : RtspStats{};
}

const DeviceModel& Simulator::Device() const
{
    return *parts_->model;
}

}  // namespace sim
