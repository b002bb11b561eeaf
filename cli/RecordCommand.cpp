// harnoquistel record: one live stream into a file (raw Annex B, Matroska or MP4), as a
// recording host receives it.
#include "Command.h"

#include <cstdio>
#include <memory>

#include "CaptureSession.h"
#include "CodecModule.h"
#include "Console.h"
#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "TransportOption.h"
#include "Query.h"
#include "Recording.h"

namespace hqcli {
namespace {

struct RecordArguments {
    DeviceOptions device;
    uint32_t channel = 1;
    std::string stream = "rec";
    std::string size = "1280x720";
    uint16_t fps = 25;
    uint16_t quality = 50;
    double duration = 10;
    double segment = 0;
    std::string out = "record.h264";
    bool overwrite = false;
    bool json = false;
    std::string transport;  // empty: the environment decides
    bool verbose = false;
};

uint32_t StreamKind(const std::string& name)
{
    return name == "live" ? 1 : name == "remote" ? 2 : 0;
}

int RunRecordCommand(const RecordArguments& args)
{
    ApplyTransport(args.transport);
    if (args.verbose)
        RequestTrace();
    Interrupt interrupt;
    Console console(args.json);
    RecordPlan plan;
    if (!ParseSize(args.size, plan.stream.width, plan.stream.height)) {
        std::fprintf(stderr, "harnoquistel record: --size wants WIDTHxHEIGHT, not \"%s\"\n", args.size.c_str());
        return ExitUsage;
    }
    plan.channel = args.channel - 1;
    plan.kind = StreamKind(args.stream);
    plan.stream.frameRate = static_cast<uint16_t>(0x7000 | args.fps);
    plan.stream.quality = args.quality;
    plan.outPath = args.out;
    plan.duration = std::chrono::milliseconds(static_cast<int64_t>(args.duration * 1000));
    plan.segment = std::chrono::milliseconds(static_cast<int64_t>(args.segment * 1000));
    if (plan.duration.count() > 0)
        plan.firstFrameLimit = std::min(plan.duration, plan.firstFrameLimit);

    plan.overwrite = args.overwrite;
    // Refused before the camera is asked for anything.
    if (plan.segment.count() == 0) {
        plan.claim = ClaimOutput(args.out, args.overwrite);
        if (!plan.claim.ok) {
            std::fprintf(stderr, "harnoquistel record: %s\n", plan.claim.error.c_str());
            return ExitFailure;
        }
    }
    // The claim made an empty file; a failure before the recording leaves none.
    struct Unclaim {
        const RecordPlan& plan;
        ~Unclaim() { RemoveIfCreatedAndEmpty(plan.outPath, plan.claim); }
    } unclaim{plan};

    std::string error;
    if (IsContainerPath(args.out) && !LoadCodecModule(&error)) {
        std::fprintf(stderr, "harnoquistel record: %s\n", error.c_str());
        return ExitFailure;
    }
    std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::fprintf(stderr, "harnoquistel record: %s\n", error.c_str());
        return ExitFailure;
    }
    host::DeviceRecord record;
    if (int status = ResolveDevice(*library, args.device, record, &error, &interrupt); status != 0) {
        std::fprintf(stderr, "harnoquistel record: %s\n", error.c_str());
        return status;
    }
    CaptureSession session(*library, console);
    if (!session.Open(record, &error)) {
        std::fprintf(stderr, "harnoquistel record: %s\n", error.c_str());
        return ExitFailure;
    }
    console.Note("Recording channel " + std::to_string(args.channel) + " (" + args.stream + ") of " + record.address +
                 " into " + args.out + "; Ctrl-C stops");
    const RecordReport report = RecordStream(session, console, interrupt, plan);
    session.Close();
    if (args.json)
        std::printf("%s\n", ReportToJson(report, console).dump(2).c_str());
    else if (report.stats.frames > 0 && report.paths.size() > 1)
        std::printf("%s ... %s (%zu files): %s, first frame after %lld ms\n", report.paths.front().c_str(),
                    report.paths.back().c_str(), report.paths.size(), SummaryLine(report).c_str(),
                    static_cast<long long>(report.firstFrameMs.value_or(0)));
    else if (report.stats.frames > 0)
        std::printf("%s: %s, first frame after %lld ms\n",
                    report.paths.empty() ? args.out.c_str() : report.paths.front().c_str(), SummaryLine(report).c_str(),
                    static_cast<long long>(report.firstFrameMs.value_or(0)));
    if (!report.error.empty()) {
        std::fprintf(stderr, "harnoquistel record: %s\n", report.error.c_str());
        if (const std::string reason = LastTraceReason(console); report.stats.frames == 0 && !reason.empty())
            std::fprintf(stderr, "harnoquistel record: last reason: %s\n", reason.c_str());
        return ExitFailure;
    }
    return 0;
}

std::function<int()> SetupRecord(CLI::App& app)
{
    auto args = std::make_shared<RecordArguments>();
    AddDeviceOptions(app, args->device, true);
    app.add_option("--channel", args->channel, "video input of the device, from 1")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    app.add_option("--stream", args->stream,
                   "which stream of the channel; live and remote need device parameter 9 to name an encoder "
                   "for them, which the query writes only for a host core library of version 6.1 or later")
        ->check(CLI::IsMember({"rec", "live", "remote"}))
        ->capture_default_str();
    app.add_option("--size", args->size, "resolution asked for; the camera's nearest larger one is used")
        ->capture_default_str();
    app.add_option("--fps", args->fps, "frames per second asked for")
        ->check(CLI::Range(1, 4095))
        ->capture_default_str();
    app.add_option("--quality", args->quality, "quality 1-100")->check(CLI::Range(1, 100))->capture_default_str();
    app.add_option("--duration", args->duration,
                   "seconds of video to record, by the camera's frame times; 0 until "
                   "Ctrl-C")
        ->check(CLI::Range(0.0, 31536000.0))
        ->capture_default_str();
    app.add_option("--out", args->out,
                   "FILE.mkv or FILE.mp4 (timed by the camera's frame times), else raw "
                   "Annex B H.264 (play: ffplay -f h264 FILE)")
        ->capture_default_str();
    app.add_option("--segment", args->segment,
                   "start a new numbered file (FILE-001.mkv, ...) at the first key "
                   "frame after this many seconds")
        ->check(CLI::Range(0.5, 31536000.0));
    app.add_flag("--overwrite", args->overwrite,
                 "replace an existing --out file (without it an existing file is refused; numbered "
                 "files always continue after the highest one present)");
    AddTransportOption(app, args->transport);
    app.add_flag("--json", args->json, "print one JSON object at the end instead of text");
    app.add_flag("--verbose", args->verbose, kVerboseHelp);
    app.footer("Without --device the capability query runs first. Exit status: 0 frames recorded, "
               "1 device failure or no frames (reason on stderr), 2 usage error.");
    return [args] { return RunRecordCommand(*args); };
}

const bool registered = RegisterCommand({"record", "Record a camera's live H.264 stream to a file", SetupRecord});

}  // namespace
}  // namespace hqcli
