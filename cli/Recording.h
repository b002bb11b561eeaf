#pragma once
// Recording one stream: a channel sink that appends every delivered Annex B
// frame to a file, and the loop that runs it for a duration.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>
#include <velkora/hostframes.h>

#include "host/StreamSettings.h"

namespace hqcli {

class CaptureSession;
class Console;
class Interrupt;

using Clock = std::chrono::steady_clock;

struct RecordingStats
{
    uint64_t frames = 0;
    uint64_t keyframes = 0; // frames holding a sequence parameter set
    uint64_t bytes = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    int signalLost = 0;
    std::optional<Clock::time_point> firstFrame;
    Clock::time_point lastFrame{};
    std::string writeError;
};

class RecordingSink : public velkora::ipcapture::IHostChannelSink
{
public:
    explicit RecordingSink(std::FILE* file) : file(file) {}

    bool DeliverFrame(velkora::ipcapture::IHostFrame* frame) override;
    void SignalLost() override;

    RecordingStats Stats() const;

private:
    std::FILE* file;
    mutable std::mutex mutex;
    RecordingStats stats;
};

struct RecordPlan
{
    uint32_t channel = 0; // 0-based
    uint32_t kind = 0;    // 0 rec, 1 live, 2 remote
    host::StreamRecord stream;
    std::string outPath;
    std::chrono::milliseconds duration{10000}; // 0: until interrupted
    // Without a first frame by then the recording gives up.
    std::chrono::milliseconds firstFrameLimit{20000};
    // Called on the command's thread about every 250 ms while recording.
    std::function<void(Clock::duration elapsed)> onTick;
};

struct RecordReport
{
    bool opened = false;
    bool interrupted = false;
    std::string error; // why the recording failed, empty on success
    RecordingStats stats;
    std::optional<int64_t> firstFrameMs; // from OpenStream to the first frame
    double seconds = 0;                  // from OpenStream to the end
    double fps = 0;
    double bitsPerSecond = 0;
};

// Opens the stream on an opened session, records, closes the stream.
RecordReport RecordStream(CaptureSession& session, Console& console, Interrupt& interrupt, const RecordPlan& plan);

nlohmann::json ReportToJson(const RecordReport& report, const Console& console);
// "250 frames (10 key), 25.0 fps, 1280x720, 1.10 Mbit/s"
std::string SummaryLine(const RecordReport& report);

} // namespace hqcli
