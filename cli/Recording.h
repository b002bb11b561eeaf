#pragma once
// Recording one stream: a channel sink that hands every delivered Annex B
// frame to a file writer, and the loop that runs it for a duration.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <velkora/hostframes.h>

#include "FrameTimeline.h"
#include "FrameWriter.h"
#include "OutputFile.h"
#include "host/StreamSettings.h"

namespace hqcli {

class CaptureSession;
class Console;
class Interrupt;

using Clock = std::chrono::steady_clock;

struct RecordingStats {
    uint64_t frames = 0;
    uint64_t keyframes = 0;  // frames holding a sequence parameter set
    uint64_t bytes = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    int signalLost = 0;
    std::optional<Clock::time_point> firstFrame;
    Clock::time_point lastFrame{};
    int64_t mediaMs = 0;    // time of the last frame on the recording's time line
    bool complete = false;  // a frame reached the planned duration
    std::string writeError;
};

// Milliseconds since 1970 of a SYSTEMTIME; 0 when it holds no date.
int64_t MillisecondsOf(const SYSTEMTIME& time);

class RecordingSink : public velkora::ipcapture::IHostChannelSink
{
public:
    // duration: frames from this far after the first one are not written (0: all).
    RecordingSink(FrameWriter& writer, std::chrono::milliseconds duration) : writer(writer), duration(duration) {}

    bool DeliverFrame(velkora::ipcapture::IHostFrame* frame) override;
    void SignalLost() override;

    RecordingStats Stats() const;
    // Completes the file; after it no frame is taken.
    bool Finish(std::string* error);
    // The last access unit with an IDR picture, for a still of the recording.
    std::vector<uint8_t> LastKeyFrame() const;

private:
    FrameWriter& writer;
    const std::chrono::milliseconds duration;
    mutable std::mutex mutex;
    RecordingStats stats;
    bool finished = false;
    FrameTimeline timeline;
    std::optional<int64_t> endMs;  // time of the first frame left out
    std::vector<uint8_t> lastKeyFrame;
};

struct RecordPlan {
    uint32_t channel = 0;  // 0-based
    uint32_t kind = 0;     // 0 rec, 1 live, 2 remote
    host::StreamRecord stream;
    std::string outPath;
    std::chrono::milliseconds duration{10000};  // of frame time; 0: until interrupted
    std::chrono::milliseconds segment{0};       // a new numbered file after each; 0: one file
    bool overwrite = false;                     // an existing regular outPath may be replaced
    OutputClaim claim;                          // of outPath, when the caller claimed it already
    // Without a first frame by then the recording gives up.
    std::chrono::milliseconds firstFrameLimit{20000};
    // Called on the command's thread about every 250 ms while recording.
    std::function<void(Clock::duration elapsed)> onTick;
};

struct RecordReport {
    bool opened = false;
    bool interrupted = false;
    std::string error;  // why the recording failed, empty on success
    RecordingStats stats;
    std::optional<int64_t> firstFrameMs;  // from OpenStream to the first frame
    double seconds = 0;                   // from OpenStream to the end
    double fps = 0;
    double bitsPerSecond = 0;
    std::vector<uint8_t> lastKeyFrame;
    std::vector<std::string> paths;  // the files written, in order
};

// Opens the stream on an opened session, records, closes the stream.
// Container files follow each other when the picture size changes.
RecordReport RecordStream(CaptureSession& session, Console& console, Interrupt& interrupt, const RecordPlan& plan);

nlohmann::json ReportToJson(const RecordReport& report, const Console& console);
// "250 frames (10 key), 25.0 fps, 1280x720, 1.10 Mbit/s"
std::string SummaryLine(const RecordReport& report);

}  // namespace hqcli
