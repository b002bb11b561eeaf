// harnoquistel sim: runs the simulated camera until SIGINT or SIGTERM.
#include "Command.h"

#include "sim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

struct SimArguments {
    sim::SimulatorOptions options;
    std::vector<std::string> faults;
    std::string rtspAuth = "any";
    bool noDiscovery = false;
};

int RunSim(SimArguments& args)
{
    for (const auto& spec : args.faults) {
        std::string error;
        auto fault = sim::ParseFault(spec, &error);
        if (!fault) {
            std::fprintf(stderr, "harnoquistel sim: %s\n", error.c_str());
            return 2;
        }
        args.options.faults.push_back(*fault);
    }
    args.options.discovery = !args.noDiscovery;
    args.options.rtspAuth = args.rtspAuth == "basic"    ? sim::RtspAuthMode::Basic
                            : args.rtspAuth == "digest" ? sim::RtspAuthMode::Digest
                                                        : sim::RtspAuthMode::Any;

    // Signals are taken by sigwait below; block them before any thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim::Simulator simulator(args.options);
    std::string error;
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "harnoquistel sim: %s\n", error.c_str());
        return 1;
    }
    const auto ports = simulator.Ports();
    if (args.options.discovery && !ports.discovery)
        std::fprintf(stderr, "harnoquistel sim: WS-Discovery is off: %s\n", simulator.DiscoveryError().c_str());
    if (ports.discovery)
        std::printf("ready http=%u rtsp=%u ptz=%u discovery=%u\n", ports.http, ports.rtsp, ports.ptz, ports.discovery);
    else
        std::printf("ready http=%u rtsp=%u ptz=%u\n", ports.http, ports.rtsp, ports.ptz);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
    simulator.Stop();
    return 0;
}

std::function<int()> SetupSim(CLI::App& app)
{
    auto args = std::make_shared<SimArguments>();
    auto& o = args->options;
    app.add_option("--bind", o.bindAddress, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--http-port", o.httpPort, "ONVIF port (0: any free port)")->capture_default_str();
    app.add_option("--rtsp-port", o.rtspPort, "RTSP port (0: any free port)")->capture_default_str();
    app.add_option("--ptz-port", o.ptzPort, "PTZ CGI port (0: any free port)")->capture_default_str();
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
                   "udp-refused[*N], unannounced-port[*N]");
    app.footer("Streams: rtsp://HOST:RTSP/media/<profile token> (Profile_<source>_<encoder>, e.g. Profile_1_1).");
    return [args] { return RunSim(*args); };
}

const bool registered = hqcli::RegisterCommand({"sim", "Run a simulated camera (ONVIF, RTSP/RTP, PTZ CGI)", SetupSim});

}  // namespace
