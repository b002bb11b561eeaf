// harnoquistel snapshot: the next key frame of a live stream as a JPEG or PNG,
// what an installer looks at after aiming a camera.
#include "Command.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "AnnexB.h"
#include "CaptureSession.h"
#include "Console.h"
#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "CodecModule.h"
#include "Query.h"
#include "host/Frames.h"
#include "TransportOption.h"
#include "host/StreamSettings.h"

namespace hqcli {
namespace {

struct SnapshotArguments {
    DeviceOptions device;
    uint32_t channel = 1;
    std::string stream = "rec";
    std::string size = "1280x720";
    double timeout = 20;
    std::string out = "snapshot.jpg";
    std::string transport;
};

// Keeps the first access unit with an IDR picture and takes no more.
class KeyFrameSink : public velkora::ipcapture::IHostChannelSink
{
public:
    bool DeliverFrame(velkora::ipcapture::IHostFrame* frame) override
    {
        auto* heap = dynamic_cast<host::HeapFrame*>(frame);
        if (heap == nullptr || heap->GetData() == nullptr)
            return false;
        const uint32_t size = std::min(heap->DataSize(), heap->GetCapacity());
        const uint8_t* data = heap->GetData();
        std::lock_guard lock(mutex);
        if (!keyFrame.empty() || !HasIdrSlice(SplitNalUnits(data, size)))
            return true;
        keyFrame.assign(data, data + size);
        arrived.notify_all();
        return true;
    }
    void SignalLost() override {}

    // The key frame, empty when none came within `timeout` or the wait was interrupted.
    std::vector<uint8_t> Wait(Interrupt& interrupt, std::chrono::milliseconds timeout)
    {
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(mutex);
        while (keyFrame.empty() && std::chrono::steady_clock::now() < until && !interrupt.Raised())
            arrived.wait_for(lock, std::chrono::milliseconds(100));
        return keyFrame;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<uint8_t> keyFrame;
};

uint32_t StreamKind(const std::string& name)
{
    return name == "live" ? 1 : name == "remote" ? 2 : 0;
}

int RunSnapshotCommand(const SnapshotArguments& args)
{
    Interrupt interrupt;
    Console console(false);
    host::StreamRecord stream;
    if (!ParseSize(args.size, stream.width, stream.height)) {
        std::fprintf(stderr, "harnoquistel snapshot: --size wants WIDTHxHEIGHT, not \"%s\"\n", args.size.c_str());
        return ExitUsage;
    }
    ApplyTransport(args.transport);
    std::string error;
    std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::fprintf(stderr, "harnoquistel snapshot: %s\n", error.c_str());
        return ExitFailure;
    }
    host::DeviceRecord record;
    if (int status = ResolveDevice(*library, args.device, record, &error, &interrupt); status != 0) {
        std::fprintf(stderr, "harnoquistel snapshot: %s\n", error.c_str());
        return status;
    }
    CaptureSession session(*library, console);
    if (!session.Open(record, &error)) {
        std::fprintf(stderr, "harnoquistel snapshot: %s\n", error.c_str());
        return ExitFailure;
    }
    KeyFrameSink sink;
    host::StreamSettings settings(stream);
    const uint32_t channel = args.channel - 1, kind = StreamKind(args.stream);
    velkora::ipcapture::IIPVideoCaptureEx2* capture = session.VideoCapture();
    if (capture == nullptr || !capture->OpenStream(channel, kind, &sink, &settings)) {
        std::fprintf(stderr, "harnoquistel snapshot: the driver could not open the stream of channel %u\n",
                     args.channel);
        if (capture != nullptr)
            capture->CloseStream(channel, kind);
        return ExitFailure;
    }
    const std::vector<uint8_t> keyFrame =
        sink.Wait(interrupt, std::chrono::milliseconds(static_cast<int64_t>(args.timeout * 1000)));
    capture->CloseStream(channel, kind);
    session.Close();
    if (keyFrame.empty()) {
        std::fprintf(stderr, "harnoquistel snapshot: %s\n",
                     interrupt.Raised() ? "interrupted before a key frame came"
                                        : "no key frame from the camera within the timeout");
        return ExitFailure;
    }
    PictureInfo picture;
    if (!SavePicture(keyFrame, args.out, &picture, &error)) {
        std::fprintf(stderr, "harnoquistel snapshot: %s\n", error.c_str());
        return ExitFailure;
    }
    std::printf("%s: %dx%d\n", args.out.c_str(), picture.width, picture.height);
    return 0;
}

std::function<int()> SetupSnapshot(CLI::App& app)
{
    auto args = std::make_shared<SnapshotArguments>();
    AddDeviceOptions(app, args->device, true);
    app.add_option("--channel", args->channel, "video input of the device, from 1")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    app.add_option("--stream", args->stream, "which stream of the channel")
        ->check(CLI::IsMember({"rec", "live", "remote"}))
        ->capture_default_str();
    app.add_option("--size", args->size, "resolution asked for; the camera's nearest larger one is used")
        ->capture_default_str();
    app.add_option("--timeout", args->timeout, "seconds to wait for a key frame")
        ->check(CLI::Range(1.0, 3600.0))
        ->capture_default_str();
    app.add_option("--out", args->out, "picture file: .png lossless, else JPEG")->capture_default_str();
    AddTransportOption(app, args->transport);
    app.footer("Without --device the capability query runs first. Exit status: 0 picture written, "
               "1 device failure or no key frame (reason on stderr), 2 usage error.");
    return [args] { return RunSnapshotCommand(*args); };
}

const bool registered =
    RegisterCommand({"snapshot", "Write the camera's next key frame as a JPEG or PNG picture", SetupSnapshot});

}  // namespace
}  // namespace hqcli
