#include "Recording.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "CaptureSession.h"
#include "Console.h"
#include "Interrupt.h"
#include "host/Frames.h"

namespace hqcli {

namespace {

// Frames that carry an SPS come with this type; the others with "I264".
constexpr uint32_t FrameTypeWithSps = 'H' | ('2' << 8) | ('6' << 16) | ('4' << 24);

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

std::string Rate(double bitsPerSecond)
{
    char text[32];
    if (bitsPerSecond >= 1e6)
        std::snprintf(text, sizeof text, "%.2f Mbit/s", bitsPerSecond / 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f kbit/s", bitsPerSecond / 1e3);
    return text;
}

void Measure(RecordReport& report, Clock::time_point opened, Clock::time_point now)
{
    const RecordingStats& stats = report.stats;
    report.seconds = Seconds(now - opened);
    if (stats.firstFrame) {
        report.firstFrameMs = std::chrono::duration_cast<std::chrono::milliseconds>(*stats.firstFrame - opened).count();
        const double span = Seconds(stats.lastFrame - *stats.firstFrame);
        report.fps = stats.frames > 1 && span > 0 ? (stats.frames - 1) / span : 0;
        const double since = Seconds(now - *stats.firstFrame);
        report.bitsPerSecond = since > 0 ? stats.bytes * 8 / since : 0;
    }
}

std::string StatusLine(const RecordReport& report, Clock::time_point now)
{
    const RecordingStats& stats = report.stats;
    std::string state = "connecting";
    if (stats.firstFrame) {
        const double silent = Seconds(now - stats.lastFrame);
        state = silent < 2 ? "receiving" : stats.signalLost > 0 ? "signal lost" : "no frames for " +
                                                                                    std::to_string(int(silent)) + " s";
    }
    char line[160];
    std::snprintf(line, sizeof line, "%5.1f s  %llu frames  %.1f fps  %s  %ux%u  %s", report.seconds,
                  static_cast<unsigned long long>(stats.frames), report.fps, Rate(report.bitsPerSecond).c_str(),
                  stats.width, stats.height, state.c_str());
    return line;
}

} // namespace

bool RecordingSink::DeliverFrame(velkora::ipcapture::IHostFrame* frame)
{
    auto* heap = dynamic_cast<host::HeapFrame*>(frame);
    if (heap == nullptr || heap->GetData() == nullptr)
        return false;
    const uint32_t size = std::min(heap->DataSize(), heap->GetCapacity());
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    if (!stats.writeError.empty())
        return false;
    if (std::fwrite(heap->GetData(), 1, size, file) != size) {
        stats.writeError = std::strerror(errno);
        return false;
    }
    ++stats.frames;
    if (heap->FrameType() == FrameTypeWithSps)
        ++stats.keyframes;
    stats.bytes += size;
    stats.width = heap->Width();
    stats.height = heap->Height();
    if (!stats.firstFrame)
        stats.firstFrame = now;
    stats.lastFrame = now;
    return true;
}

void RecordingSink::SignalLost()
{
    std::lock_guard lock(mutex);
    ++stats.signalLost;
}

RecordingStats RecordingSink::Stats() const
{
    std::lock_guard lock(mutex);
    return stats;
}

RecordReport RecordStream(CaptureSession& session, Console& console, Interrupt& interrupt, const RecordPlan& plan)
{
    RecordReport report;
    std::FILE* file = std::fopen(plan.outPath.c_str(), "wb");
    if (file == nullptr) {
        report.error = "cannot write " + plan.outPath + ": " + std::strerror(errno);
        return report;
    }
    RecordingSink sink(file);
    host::StreamSettings settings(plan.stream);
    velkora::ipcapture::IIPVideoCaptureEx2* capture = session.VideoCapture();
    const auto opened = Clock::now();
    if (capture == nullptr || !capture->OpenStream(plan.channel, plan.kind, &sink, &settings)) {
        report.error = "the driver could not open the stream of channel " + std::to_string(plan.channel + 1) +
                       (capture != nullptr && plan.channel >= capture->GetChannelCount()
                            ? " (the device has " + std::to_string(capture->GetChannelCount()) + ")"
                            : "");
        if (capture != nullptr)
            capture->CloseStream(plan.channel, plan.kind);
        std::fclose(file);
        return report;
    }
    report.opened = true;
    for (;;) {
        if (interrupt.WaitFor(std::chrono::milliseconds(250))) {
            report.interrupted = true;
            break;
        }
        const auto now = Clock::now();
        report.stats = sink.Stats();
        Measure(report, opened, now);
        console.Status(StatusLine(report, now));
        if (!report.stats.writeError.empty() || (plan.duration.count() > 0 && now - opened >= plan.duration))
            break;
        if (!report.stats.firstFrame && now - opened >= plan.firstFrameLimit)
            break;
        if (plan.onTick)
            plan.onTick(now - opened);
    }
    capture->CloseStream(plan.channel, plan.kind);
    console.ClearStatus();
    report.stats = sink.Stats();
    Measure(report, opened, Clock::now());
    if (std::fclose(file) != 0 && report.stats.writeError.empty())
        report.stats.writeError = std::strerror(errno);
    if (!report.stats.writeError.empty())
        report.error = "cannot write " + plan.outPath + ": " + report.stats.writeError;
    else if (report.stats.frames == 0) {
        std::remove(plan.outPath.c_str()); // an empty file would pass for a recording
        char text[96];
        std::snprintf(text, sizeof text, "no frames from the camera within %.1f s", report.seconds);
        report.error = text;
    }
    return report;
}

nlohmann::json ReportToJson(const RecordReport& report, const Console& console)
{
    nlohmann::json messages = nlohmann::json::array();
    for (const DriverMessage& message : console.Messages())
        messages.push_back({{"level", message.level}, {"text", message.text}});
    const RecordingStats& stats = report.stats;
    nlohmann::json out = {
        {"frames", stats.frames},
        {"keyframes", stats.keyframes},
        {"bytes", stats.bytes},
        {"width", stats.width},
        {"height", stats.height},
        {"first_frame_ms", report.firstFrameMs ? nlohmann::json(*report.firstFrameMs) : nlohmann::json()},
        {"signal_lost", stats.signalLost},
        {"seconds", report.seconds},
        {"fps", report.fps},
        {"bitrate", report.bitsPerSecond},
        {"interrupted", report.interrupted},
        {"messages", messages},
    };
    if (!report.error.empty())
        out["error"] = report.error;
    return out;
}

std::string SummaryLine(const RecordReport& report)
{
    char line[160];
    std::snprintf(line, sizeof line, "%llu frames (%llu key), %.1f fps, %ux%u, %s",
                  static_cast<unsigned long long>(report.stats.frames),
                  static_cast<unsigned long long>(report.stats.keyframes), report.fps, report.stats.width,
                  report.stats.height, Rate(report.bitsPerSecond).c_str());
    return line;
}

} // namespace hqcli
