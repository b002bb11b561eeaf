// harnoquistel sim: runs the simulated camera until SIGINT or SIGTERM.
#include "Command.h"

#include "sim/SendTimes.h"
#include "sim/Site.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

namespace {

struct SimArguments {
    sim::SimulatorOptions options;
    std::vector<std::string> faults;
    std::string rtspAuth = "any";
    bool noDiscovery = false;
    unsigned cameras = 0;  // 0: one camera as before, not a site
    std::optional<std::uint16_t> basePort;
    bool json = false;
    std::string sendTimes;
    CLI::Option *bind = nullptr, *httpPort = nullptr, *rtspPort = nullptr;
};

struct CameraLine {
    unsigned number;
    std::string address;
    sim::SimulatorPorts ports;
};

void PrintReady(const std::vector<CameraLine>& cameras, bool site, bool json)
{
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const CameraLine& c : cameras)
            list.push_back(
                {{"camera", c.number},
                 {"address", c.address},
                 {"http", c.ports.http},
                 {"rtsp", c.ports.rtsp},
                 {"ptz", c.ports.ptz},
                 {"discovery", c.ports.discovery},
                 {"serial", sim::SerialNumber(c.number)},
                 {"onvif", "http://" + c.address + ":" + std::to_string(c.ports.http) + "/onvif/device_service"}});
        std::printf("%s\n", nlohmann::json{{"ready", true}, {"cameras", list}}.dump().c_str());
    } else if (!site) {
        const auto& ports = cameras.front().ports;
        if (ports.discovery)
            std::printf("ready http=%u rtsp=%u ptz=%u discovery=%u\n", ports.http, ports.rtsp, ports.ptz,
                        ports.discovery);
        else
            std::printf("ready http=%u rtsp=%u ptz=%u\n", ports.http, ports.rtsp, ports.ptz);
    } else {
        std::printf("ready cameras=%zu\n", cameras.size());
        for (const CameraLine& c : cameras)
            std::printf("camera=%u address=%s http=%u rtsp=%u ptz=%u discovery=%u serial=%s\n", c.number,
                        c.address.c_str(), c.ports.http, c.ports.rtsp, c.ports.ptz, c.ports.discovery,
                        sim::SerialNumber(c.number).c_str());
    }
    std::fflush(stdout);
}

int RunSim(SimArguments& args)
{
    auto& o = args.options;
    const bool site = args.cameras > 0;
    sim::SiteOptions siteOptions;
    for (const auto& spec : args.faults) {
        std::string error;
        auto fault = sim::ParseSiteFault(spec, &error);
        if (fault && fault->camera > std::max(args.cameras, 1u)) {
            error = "fault '" + spec + "' is for a camera the site lacks";
            fault.reset();
        }
        if (!fault) {
            std::fprintf(stderr, "harnoquistel sim: %s\n", error.c_str());
            return 2;
        }
        siteOptions.faults.push_back(*fault);
    }
    o.discovery = !args.noDiscovery;
    o.rtspAuth = args.rtspAuth == "basic"    ? sim::RtspAuthMode::Basic
                 : args.rtspAuth == "digest" ? sim::RtspAuthMode::Digest
                                             : sim::RtspAuthMode::Any;
    if (site && !args.basePort) {
        // A real site: one address per camera, the standard ports unless others are given.
        if (!args.bind->count())
            o.bindAddress = "127.0.1.1";
        if (!args.httpPort->count())
            o.httpPort = 80;
        if (!args.rtspPort->count())
            o.rtspPort = 554;
    }
    siteOptions.camera = o;
    siteOptions.cameras = std::max(args.cameras, 1u);
    siteOptions.basePort = args.basePort;

    // Signals are taken by sigwait below; block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (site) {
        // Some descriptors per camera and connection: take what the hard limit allows.
        rlimit files{};
        if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            setrlimit(RLIMIT_NOFILE, &files);
        }
    }

    if (!args.sendTimes.empty()) {
        std::string error;
        if (!sim::OpenSendTimes(args.sendTimes, &error)) {
            std::fprintf(stderr, "harnoquistel sim: %s\n", error.c_str());
            return 1;
        }
    }
    sim::Site cameras(siteOptions);
    std::string error;
    if (!cameras.Start(&error)) {
        std::fprintf(stderr, "harnoquistel sim: %s\n", error.c_str());
        return 1;
    }
    std::vector<CameraLine> lines;
    for (unsigned i = 1; i <= cameras.Size(); ++i) {
        const auto ports = cameras.Camera(i).Ports();
        if (o.discovery && !ports.discovery)
            std::fprintf(stderr, "harnoquistel sim: WS-Discovery is off%s: %s\n",
                         site ? (" for camera " + std::to_string(i)).c_str() : "",
                         cameras.Camera(i).DiscoveryError().c_str());
        lines.push_back({i, cameras.CameraOptions(i).bindAddress, ports});
    }
    PrintReady(lines, site, args.json);
    int signal = 0;
    sigwait(&signals, &signal);
    cameras.Stop();
    return 0;
}

std::function<int()> SetupSim(CLI::App& app)
{
    auto args = std::make_shared<SimArguments>();
    auto& o = args->options;
    args->bind = app.add_option("--bind", o.bindAddress, "IPv4 address to listen on (a site: of its first camera)")
                     ->capture_default_str();
    args->httpPort =
        app.add_option("--http-port", o.httpPort, "ONVIF port (0: any free port; a site: 80)")->capture_default_str();
    args->rtspPort =
        app.add_option("--rtsp-port", o.rtspPort, "RTSP port (0: any free port; a site: 554)")->capture_default_str();
    app.add_option("--ptz-port", o.ptzPort, "PTZ CGI port (0: any free port)")->capture_default_str();
    app.add_option("--cameras", args->cameras,
                   "run a site of N independent cameras, camera i on the i-th address from --bind (default "
                   "127.0.1.1)")
        ->check(CLI::Range(1, 254));
    app.add_option("--base-port", args->basePort,
                   "a site on --bind alone: camera i on the four ports from BASE + 4(i-1): ONVIF, RTSP, PTZ, "
                   "WS-Discovery (0: free ports)")
        ->needs("--cameras");
    app.add_flag("--json", args->json, "print the cameras ready as one JSON object");
    app.add_option("--send-times", args->sendTimes,
                   "keep in FILE (shared, e.g. under /dev/shm) per RTP/UDP destination port the frames sent and "
                   "when the last one went (CLOCK_MONOTONIC ns), for a benchmark to time deliveries against");
    app.add_option("--user", o.user, "user name for every service")->capture_default_str();
    app.add_option("--password", o.password, "password for every service")->capture_default_str();
    app.add_option("--channels", o.channels, "video sources (more than 1: a video server)")
        ->check(CLI::Range(1, 16))
        ->capture_default_str();
    app.add_option("--encoders", o.encoders, "encoder configurations per video source")
        ->check(CLI::Range(1, 8))
        ->capture_default_str();
    app.add_option("--rtsp-uri", o.rtspUri, "URI that GetStreamUri answers instead of the built-in server");
    app.add_option("--log", o.logFile, "append one line per request to this file");
    app.add_option("--clips", o.clipsDir, "directory of <width>x<height>.h264 clips");
    app.add_option("--pace", o.pace, "send frames this many times faster than their rate (timestamps unchanged)")
        ->check(CLI::Range(0.01, 1000.0))
        ->capture_default_str();
    app.add_option("--rtsp-auth", args->rtspAuth, "RTSP schemes offered: any, basic, digest")
        ->check(CLI::IsMember({"any", "basic", "digest"}))
        ->capture_default_str();
    app.add_flag("--no-discovery", args->noDiscovery, "do not answer WS-Discovery probes");
    app.add_option("--discovery-port", o.discoveryPort, "WS-Discovery UDP port (0: any free port)")
        ->capture_default_str();
    app.add_flag("--onvif-401", o.onvifAuthFailureAs401, "refuse a bad WS-Security token with HTTP 401, not 400");
    app.add_option("--fault", args->faults,
                   "inject a fault (repeatable): loss=R, reorder=R, duplicate=R, bye-after=S, stop-after=S, "
                   "refuse-rtsp[*N], onvif-401[=OP][*N], onvif-fault[=OP][*N], slow=[SERVICE:]MS, "
                   "close-midway[=SERVICE][*N], onvif-digest[=only], clock=[-]S[:WINDOW], udp-unreachable[*N], "
                   "udp-refused[*N], unannounced-port[*N]; CAMERA:SPEC for one camera of a site");
    app.footer("Streams: rtsp://HOST:RTSP/media/<profile token> (Profile_<source>_<encoder>, e.g. Profile_1_1).");
    return [args] { return RunSim(*args); };
}

const bool registered = hqcli::RegisterCommand({"sim", "Run a simulated camera (ONVIF, RTSP/RTP, PTZ CGI)", SetupSim});

}  // namespace
