#include "Recording.h"

#include <algorithm>
#include <cstring>

#include "AnnexB.h"
#include "CaptureSession.h"
#include "Console.h"
#include "Interrupt.h"
#include "FileSeries.h"
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
        state = silent < 2             ? "receiving"
                : stats.signalLost > 0 ? "signal lost"
                                       : "no frames for " + std::to_string(int(silent)) + " s";
    }
    char line[160];
    std::snprintf(line, sizeof line, "%5.1f s  %llu frames  %.1f fps  %s  %ux%u  %s", report.seconds,
                  static_cast<unsigned long long>(stats.frames), report.fps, Rate(report.bitsPerSecond).c_str(),
                  stats.width, stats.height, state.c_str());
    return line;
}

}  // namespace

int64_t MillisecondsOf(const SYSTEMTIME& time)
{
    if (time.wYear == 0 || time.wMonth < 1 || time.wMonth > 12)
        return 0;
    // Days from 1970-01-01 of a proleptic Gregorian date.
    const int64_t year = time.wYear - (time.wMonth <= 2 ? 1 : 0);
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t month = time.wMonth;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time.wDay - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int64_t days = era * 146097 + dayOfEra - 719468;
    return ((days * 24 + time.wHour) * 60 + time.wMinute) * 60000 + time.wSecond * 1000 + time.wMilliseconds;
}

bool RecordingSink::DeliverFrame(velkora::ipcapture::IHostFrame* frame)
{
    auto* heap = dynamic_cast<host::HeapFrame*>(frame);
    if (heap == nullptr || heap->GetData() == nullptr)
        return false;
    const uint32_t size = std::min(heap->DataSize(), heap->GetCapacity());
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    if (!stats.writeError.empty() || finished)
        return false;
    if (stats.complete)
        return true;
    const int64_t timeMs = timeline.Place(MillisecondsOf(heap->Time()), now);
    if (duration.count() > 0 && stats.firstFrame && timeMs >= duration.count()) {
        stats.complete = true;
        endMs = timeMs;
        return true;
    }
    const uint8_t* data = heap->GetData();
    const bool key = StartsWithIdrPicture(data, size);
    const EncodedFrame encoded{data, size, timeMs, key, heap->Width(), heap->Height()};
    if (std::string error; !writer.Write(encoded, &error)) {
        stats.writeError = error;
        return false;
    }
    if (key)
        lastKeyFrame.assign(data, data + size);
    ++stats.frames;
    if (heap->FrameType() == FrameTypeWithSps)
        ++stats.keyframes;
    stats.bytes += size;
    stats.width = heap->Width();
    stats.height = heap->Height();
    if (!stats.firstFrame)
        stats.firstFrame = now;
    stats.lastFrame = now;
    stats.mediaMs = timeMs;
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

bool RecordingSink::Finish(std::string* error)
{
    std::lock_guard lock(mutex);
    if (finished)
        return true;
    finished = true;
    return writer.Finish(endMs.value_or(UnknownEnd), error);
}

std::vector<uint8_t> RecordingSink::LastKeyFrame() const
{
    std::lock_guard lock(mutex);
    return lastKeyFrame;
}

RecordReport RecordStream(CaptureSession& session, Console& console, Interrupt& interrupt, const RecordPlan& plan)
{
    RecordReport report;
    OutputClaim claim = plan.claim;
    if (plan.segment.count() == 0 && !claim.ok) {
        claim = ClaimOutput(plan.outPath, plan.overwrite);
        if (!claim.ok) {
            report.error = claim.error;
            return report;
        }
    }
    std::unique_ptr<FrameWriter> writer;
    FileSeries* series = nullptr;
    if (plan.segment.count() > 0 || IsContainerPath(plan.outPath)) {
        FileSeries::Options options;
        options.path = plan.outPath;
        options.intervalMs = plan.segment.count();
        options.cutOnResize = IsContainerPath(plan.outPath);
        options.onResize = [&console](const std::string& next, uint16_t width, uint16_t height) {
            console.Note("The picture size changed to " + std::to_string(width) + "x" + std::to_string(height) +
                         ": recording on in " + next);
        };
        auto made = std::make_unique<FileSeries>(std::move(options));
        series = made.get();
        writer = std::move(made);
    } else {
        writer = OpenFrameWriter(plan.outPath, &report.error);
        if (writer == nullptr)
            return report;
    }
    RecordingSink sink(*writer, plan.duration);
    host::StreamSettings settings(plan.stream);
    velkora::ipcapture::IIPVideoCaptureEx2* capture = session.VideoCapture();
    const auto opened = Clock::now();
    // An empty file would pass for a recording; but only one this run made goes.
    auto removeEmpty = [&] { RemoveIfCreatedAndEmpty(plan.outPath, claim); };
    if (capture == nullptr || !capture->OpenStream(plan.channel, plan.kind, &sink, &settings)) {
        report.error = "the driver could not open the stream of channel " + std::to_string(plan.channel + 1) +
                       (capture != nullptr && plan.channel >= capture->GetChannelCount()
                            ? " (the device has " + std::to_string(capture->GetChannelCount()) + ")"
                            : "");
        if (capture != nullptr)
            capture->CloseStream(plan.channel, plan.kind);
        std::string ignored;
        sink.Finish(&ignored);
        writer.reset();
        removeEmpty();
        return report;
    }
    report.opened = true;
    // Frame times drive the end; this bounds a camera whose clock lags.
    const auto slack = std::chrono::seconds(2);
    for (;;) {
        if (interrupt.WaitFor(std::chrono::milliseconds(250))) {
            report.interrupted = true;
            break;
        }
        const auto now = Clock::now();
        report.stats = sink.Stats();
        Measure(report, opened, now);
        console.Status(StatusLine(report, now));
        const RecordingStats& stats = report.stats;
        if (!stats.writeError.empty() || stats.complete)
            break;
        if (plan.duration.count() > 0 && stats.firstFrame && now - *stats.firstFrame >= plan.duration + slack)
            break;
        if (!stats.firstFrame && now - opened >= plan.firstFrameLimit)
            break;
        if (plan.onTick)
            plan.onTick(now - opened);
    }
    capture->CloseStream(plan.channel, plan.kind);
    console.ClearStatus();
    std::string finishError;
    const bool finished = sink.Finish(&finishError);
    report.stats = sink.Stats();
    Measure(report, opened, Clock::now());
    report.lastKeyFrame = sink.LastKeyFrame();
    report.paths = series != nullptr ? series->Paths() : std::vector<std::string>{plan.outPath};
    writer.reset();
    if (!finished && report.stats.writeError.empty())
        report.stats.writeError = finishError;
    if (!report.stats.writeError.empty())
        report.error = report.stats.writeError.rfind("cannot write ", 0) == 0
                           ? report.stats.writeError  // a segment's file, named already
                           : "cannot write " + plan.outPath + ": " + report.stats.writeError;
    else if (report.stats.frames == 0) {
        removeEmpty();
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
        {"files", report.paths.size()},
        {"paths", report.paths},
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

}  // namespace hqcli
