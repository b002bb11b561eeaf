// harnoquistel demo: the whole road once, against a simulated camera in this
// process: capability query, live recording, a PTZ move, and a report.
#include "Command.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "CaptureSession.h"
#include "Console.h"
#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "CodecModule.h"
#include "TransportOption.h"
#include "Ptz.h"
#include "Query.h"
#include "Recording.h"
#include "sim/Simulator.h"

namespace hqcli {
namespace {

struct DemoArguments {
    double duration = 10;
    std::string out = ".";
    std::string transport;  // empty: the environment decides
    bool verbose = false;
};

constexpr int32_t DemoPtzSpeed = 8;

std::string Indent(const std::string& text, const std::string& prefix)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        out += prefix + text.substr(start, end - start) + "\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}

int RunDemo(const DemoArguments& args)
{
    ApplyTransport(args.transport);
    if (args.verbose)
        RequestTrace();
    Interrupt interrupt;
    Console console(false);
    // The report goes to stdout and the driver's messages to stderr; keep them in order.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::error_code fsError;
    std::filesystem::create_directories(args.out, fsError);
    const std::string outPath = (std::filesystem::path(args.out) / "demo.h264").string();
    const std::string picturePath = (std::filesystem::path(args.out) / "demo.jpg").string();

    sim::SimulatorOptions options;
    options.httpPort = options.rtspPort = options.ptzPort = 0;
    sim::Simulator camera(options);
    std::string error;
    if (!camera.Start(&error)) {
        std::fprintf(stderr, "harnoquistel demo: the simulated camera did not start: %s\n", error.c_str());
        return ExitFailure;
    }
    const sim::SimulatorPorts ports = camera.Ports();
    std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::fprintf(stderr, "harnoquistel demo: %s\n", error.c_str());
        return ExitFailure;
    }
    std::printf("Simulated camera on 127.0.0.1: ONVIF port %u, RTSP port %u, PTZ CGI port %u (user %s)\n", ports.http,
                ports.rtsp, ports.ptz, options.user.c_str());
    std::printf("Library %s\n\n", library->Path().c_str());

    QueryRequest request;
    request.address = "127.0.0.1:" + std::to_string(ports.http);
    request.ptzPort = ports.ptz;
    request.user = options.user;
    request.password = options.password;
    std::printf("1. Capability query of %s\n", request.address.c_str());
    std::fflush(stdout);
    const QueryResult query = RunQuery(*library, request, &interrupt);
    if (!query.completed) {
        std::fprintf(stderr, "harnoquistel demo: capability query failed (kind %u): %s\n", query.kind,
                     query.error.c_str());
        return ExitFailure;
    }
    std::printf("%s\n", Indent(QueryToText(*query.store), "   ").c_str());

    CaptureSession session(*library, console);
    const host::DeviceRecord record = DeviceRecordOf(*query.store, request.ptzPort);
    if (!session.Open(record, &error)) {
        std::fprintf(stderr, "harnoquistel demo: %s\n", error.c_str());
        return ExitFailure;
    }

    RecordPlan plan;
    plan.outPath = outPath;
    plan.overwrite = true;  // its own file in its folder, from the last demo
    plan.duration = std::chrono::milliseconds(static_cast<int64_t>(args.duration * 1000));
    plan.firstFrameLimit = std::max(plan.duration, std::chrono::milliseconds(20000));
    // The head turns right during the middle third of the recording.
    velkora::IIPPTZApi* ptz = session.PtzApi(0);
    bool moved = false, stopped = false;
    int32_t moveResult = 0, stopResult = 0;
    plan.onTick = [&](Clock::duration elapsed) {
        if (ptz == nullptr)
            return;
        if (!moved && elapsed >= plan.duration / 3) {
            moved = true;
            moveResult = StartPtzAction(*ptz, "right", DemoPtzSpeed);
            console.Note("   PTZ: right at speed " + std::to_string(DemoPtzSpeed) + ": " + PtzResultText(moveResult));
        } else if (moved && !stopped && elapsed >= plan.duration * 2 / 3) {
            stopped = true;
            stopResult = ptz->Stop();
            console.Note("   PTZ: stop: " + PtzResultText(stopResult));
        }
    };
    std::printf("2. Recording %.0f s of channel 1 (%ux%u, %u fps asked) into %s\n", args.duration, plan.stream.width,
                plan.stream.height, plan.stream.frameRate & 0xFFFu, outPath.c_str());
    std::fflush(stdout);
    const RecordReport report = RecordStream(session, console, interrupt, plan);
    if (ptz != nullptr && moved && !stopped)
        stopResult = ptz->Stop(), stopped = true;
    // The PTZ worker sends after the call returned; wait for the camera to see the stop.
    const bool stopSeen =
        moved && camera.WaitForRequest(
                     [](const std::string& line) {
                         return line.rfind("cgi ", 0) == 0 && line.find("pan%200") != std::string::npos;
                     },
                     std::chrono::seconds(10));
    session.Close();

    std::vector<std::string> ptzRequests;
    for (const std::string& line : camera.RequestLog())
        if (line.rfind("cgi ", 0) == 0 && line.find("ptz.cgi%20zoom%200") == std::string::npos)
            ptzRequests.push_back(line.substr(4));  // the query's probe is a zoom 0; the rest are ours
    camera.Stop();

    std::printf("\nReport\n");
    std::printf("  device       %s (%s)\n", query.store->name.c_str(), record.address.c_str());
    std::printf("  parameters  ");
    for (size_t i = 0; i < record.parameters.size(); ++i)
        std::printf(" %zu=%s", i + 1, record.parameters[i].c_str());
    std::printf("\n");
    std::printf("  frames       %llu (%llu key frames), %.1f MB\n",
                static_cast<unsigned long long>(report.stats.frames),
                static_cast<unsigned long long>(report.stats.keyframes), report.stats.bytes / 1e6);
    std::printf("  fps          %.1f\n", report.fps);
    std::printf("  resolution   %ux%u\n", report.stats.width, report.stats.height);
    if (report.firstFrameMs)
        std::printf("  first frame  %lld ms after OpenStream\n", static_cast<long long>(*report.firstFrameMs));
    else
        std::printf("  first frame  none\n");
    std::printf("  PTZ requests seen by the camera:\n");
    for (const std::string& line : ptzRequests)
        std::printf("               %s\n", line.c_str());
    PictureInfo picture;
    std::string pictureError;
    const bool pictured =
        report.error.empty() && SavePicture(report.lastKeyFrame, picturePath, &picture, &pictureError);
    if (pictured)
        std::printf("  picture      %s (%dx%d, the last key frame)\n", picturePath.c_str(), picture.width,
                    picture.height);
    std::printf("\nPlay it:  ffplay -f h264 %s\n", outPath.c_str());

    if (!report.error.empty()) {
        std::fprintf(stderr, "harnoquistel demo: %s\n", report.error.c_str());
        return ExitFailure;
    }
    if (!pictured) {
        std::fprintf(stderr, "harnoquistel demo: %s\n", pictureError.c_str());
        return ExitFailure;
    }
    if (!report.interrupted && (moveResult != velkora::PtzDone || stopResult != velkora::PtzDone || !stopSeen)) {
        std::fprintf(stderr, "harnoquistel demo: the PTZ move did not reach the camera\n");
        return ExitFailure;
    }
    return 0;
}

std::function<int()> SetupDemo(CLI::App& app)
{
    auto args = std::make_shared<DemoArguments>();
    app.add_option("--duration", args->duration, "seconds to record")
        ->check(CLI::Range(1.0, 3600.0))
        ->capture_default_str();
    app.add_option("--out", args->out, "directory for demo.h264 and demo.jpg")->capture_default_str();
    AddTransportOption(app, args->transport);
    app.add_flag("--verbose", args->verbose, kVerboseHelp);
    app.footer("Runs a simulated camera in this process on free loopback ports, queries it, records "
               "DIR/demo.h264 and a picture DIR/demo.jpg, turns the head right and stops it, and prints a report.");
    return [args] { return RunDemo(*args); };
}

const bool registered =
    RegisterCommand({"demo", "Query, record and steer a simulated camera through the library", SetupDemo});

}  // namespace
}  // namespace hqcli
