// harnoquistel ptz: drive a camera head through the host's PTZ interface.
#include "Command.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "CaptureSession.h"
#include "Console.h"
#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "Ptz.h"
#include "Query.h"

namespace hqcli {
namespace {

// Requests are sent by the library's PTZ worker after the call returns, and
// closing the device discards what it has not sent yet; give it this long.
constexpr std::chrono::milliseconds SendGrace{1500};

struct PtzArguments {
    DeviceOptions device;
    uint32_t channel = 1;
    std::string action;
    int32_t speed = 8;
    double seconds = 1;
};

int RunPtzCommand(const PtzArguments& args)
{
    Interrupt interrupt;
    Console console(false);
    std::string error;
    std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::fprintf(stderr, "harnoquistel ptz: %s\n", error.c_str());
        return ExitFailure;
    }
    host::DeviceRecord record;
    if (int status = ResolveDevice(*library, args.device, record, &error, &interrupt); status != 0) {
        std::fprintf(stderr, "harnoquistel ptz: %s\n", error.c_str());
        return status;
    }
    CaptureSession session(*library, console);
    if (!session.Open(record, &error)) {
        std::fprintf(stderr, "harnoquistel ptz: %s\n", error.c_str());
        return ExitFailure;
    }
    velkora::IIPPTZApi* api = session.PtzApi(args.channel - 1);
    if (api == nullptr) {
        std::fprintf(stderr, "harnoquistel ptz: no PTZ control for channel %u\n", args.channel);
        return ExitFailure;
    }
    const int32_t started = StartPtzAction(*api, args.action, args.speed);
    if (started != velkora::PtzDone) {
        std::fprintf(stderr, "harnoquistel ptz: %s: %s\n", args.action.c_str(), PtzResultText(started).c_str());
        return ExitFailure;
    }
    if (args.action != "stop") {
        interrupt.WaitFor(std::chrono::milliseconds(static_cast<int64_t>(args.seconds * 1000)));
        if (const int32_t stopped = api->Stop(); stopped != velkora::PtzDone) {
            std::fprintf(stderr, "harnoquistel ptz: stop: %s\n", PtzResultText(stopped).c_str());
            return ExitFailure;
        }
    }
    std::this_thread::sleep_for(SendGrace);
    session.Close();
    for (const DriverMessage& message : console.Messages()) {
        if (message.level == 1) {
            std::fprintf(stderr, "harnoquistel ptz: the camera refused a command: %s\n", message.text.c_str());
            return ExitFailure;
        }
    }
    if (args.action == "stop")
        std::printf("stopped channel %u\n", args.channel);
    else
        std::printf("%s at speed %d for %.1f s on channel %u, then stopped\n", args.action.c_str(), args.speed,
                    args.seconds, args.channel);
    return 0;
}

std::function<int()> SetupPtz(CLI::App& app)
{
    auto args = std::make_shared<PtzArguments>();
    AddDeviceOptions(app, args->device, true);
    app.add_option("action", args->action,
                   "left right up down up-left up-right down-left down-right zoom-in "
                   "zoom-out stop")
        ->required()
        ->check(CLI::IsMember(PtzActions()));
    app.add_option("--channel", args->channel, "video input of the device, from 1")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    app.add_option("--speed", args->speed, "speed 1-16")->check(CLI::Range(1, 16))->capture_default_str();
    app.add_option("--for", args->seconds, "seconds the move lasts before it is stopped")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
    app.footer("Without --device the capability query runs first (it finds out what the head can do). "
               "Exit status: 0 done, 1 the camera refused or lacks the move, 2 usage error.");
    return [args] { return RunPtzCommand(*args); };
}

const bool registered = RegisterCommand({"ptz", "Move a camera's pan-tilt-zoom head", SetupPtz});

}  // namespace
}  // namespace hqcli
