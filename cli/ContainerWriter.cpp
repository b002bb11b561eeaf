#include "ContainerWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include "AnnexB.h"

namespace hqcli {

namespace {

constexpr AVRational Milliseconds{1, 1000};
// How much of the stream the frame rate is measured over before the header.
constexpr int64_t RateWindowMs = 1000;
// A killed recorder loses at most about this much.
constexpr int64_t FlushIntervalMs = 500;

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Cameras run at whole rates; millisecond frame times cannot tell 30 from
// 29.97 within a second anyway.
AVRational RateOf(double fps)
{
    const double whole = std::round(fps);
    if (whole >= 1 && std::abs(fps - whole) <= 0.01 * fps)
        return {static_cast<int>(whole), 1};
    return av_d2q(fps, 1001000);
}

}  // namespace

std::unique_ptr<ContainerWriter> ContainerWriter::Open(const std::string& path, std::string* error)
{
    // Their warnings (deprecated pixel formats and the like) mean nothing to the user.
    av_log_set_level(AV_LOG_ERROR);
    std::unique_ptr<ContainerWriter> writer(new ContainerWriter);
    writer->path = path;
    int status = avformat_alloc_output_context2(&writer->context, nullptr, nullptr, path.c_str());
    if (status < 0 || writer->context == nullptr) {
        *error = "no container format for " + path;
        return nullptr;
    }
    writer->mp4 = std::strcmp(writer->context->oformat->name, "mp4") == 0;
    writer->stream = avformat_new_stream(writer->context, nullptr);
    if (writer->stream == nullptr) {
        *error = "out of memory";
        return nullptr;
    }
    status = avio_open(&writer->context->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (status < 0) {
        *error = AvError(status);
        return nullptr;
    }
    return writer;
}

ContainerWriter::~ContainerWriter()
{
    if (context != nullptr) {
        if (context->pb != nullptr)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
}

bool ContainerWriter::Start(std::string* error)
{
    const Pending& first = pending.front();
    AVCodecParameters* codec = stream->codecpar;
    codec->codec_type = AVMEDIA_TYPE_VIDEO;
    codec->codec_id = AV_CODEC_ID_H264;
    codec->width = first.width;
    codec->height = first.height;
    codec->extradata = static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (codec->extradata == nullptr) {
        *error = "out of memory";
        return false;
    }
    std::memcpy(codec->extradata, parameterSets.data(), parameterSets.size());
    codec->extradata_size = static_cast<int>(parameterSets.size());
    stream->time_base = Milliseconds;
    // The first frame may be timed on arrival, before the camera's first
    // sender report: measure from the second when there is one.
    const size_t from = pending.size() > 2 ? 1 : 0;
    const int64_t span = pending.back().timeMs - pending[from].timeMs;
    const size_t intervals = pending.size() - 1 - from;
    if (intervals > 0 && span > 0) {
        // Matroska keeps it as the track's default duration, which players show.
        stream->avg_frame_rate = RateOf(intervals * 1000.0 / span);
        lastDurationMs = span / static_cast<int64_t>(intervals);
    }
    AVDictionary* options = nullptr;
    // Fragments make every flushed second a complete file.
    if (mp4)
        av_dict_set(&options, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
    const int status = avformat_write_header(context, &options);
    av_dict_free(&options);
    if (status < 0) {
        *error = AvError(status);
        return false;
    }
    originMs = lastFlushMs = first.timeMs;
    started = true;
    return true;
}

bool ContainerWriter::WritePacket(const Pending& frame, int64_t durationMs, std::string* error)
{
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr || av_new_packet(packet, static_cast<int>(frame.data.size())) < 0) {
        av_packet_free(&packet);
        *error = "out of memory";
        return false;
    }
    std::memcpy(packet->data, frame.data.data(), frame.data.size());
    packet->stream_index = stream->index;
    packet->pts = packet->dts = av_rescale_q(frame.timeMs - originMs, Milliseconds, stream->time_base);
    packet->duration = av_rescale_q(durationMs, Milliseconds, stream->time_base);
    if (frame.key)
        packet->flags |= AV_PKT_FLAG_KEY;
    int status = av_write_frame(context, packet);
    av_packet_free(&packet);
    if (status >= 0 && frame.timeMs - lastFlushMs >= FlushIntervalMs) {
        // Ends the Matroska cluster or the MP4 fragment and puts it on disk.
        status = av_write_frame(context, nullptr);
        avio_flush(context->pb);
        if (status >= 0)
            status = context->pb->error;
        lastFlushMs = frame.timeMs;
    }
    if (status < 0) {
        *error = AvError(status);
        return false;
    }
    lastDurationMs = durationMs;
    return true;
}

bool ContainerWriter::WriteUpTo(size_t keep, std::string* error)
{
    while (pending.size() > keep && pending.size() >= 2) {
        const int64_t duration = pending[1].timeMs - pending[0].timeMs;
        if (!WritePacket(pending.front(), duration, error))
            return false;
        pending.pop_front();
    }
    return true;
}

bool ContainerWriter::Write(const EncodedFrame& frame, std::string* error)
{
    const std::vector<NalUnit> units = SplitNalUnits(frame.data, frame.size);
    if (!started && pending.empty()) {
        // A container starts at a picture a decoder can start from, with its parameter sets.
        parameterSets = ParameterSets(units);
        if (!frame.key || parameterSets.empty())
            return true;
    }
    Pending next{WithoutDelimiters(units), frame.timeMs, frame.key, frame.width, frame.height};
    if (!pending.empty() && next.timeMs <= pending.back().timeMs)
        next.timeMs = pending.back().timeMs + 1;  // a container wants rising times
    pending.push_back(std::move(next));
    if (!started) {
        if (pending.back().timeMs - pending.front().timeMs < RateWindowMs)
            return true;
        if (!Start(error))
            return false;
    }
    return WriteUpTo(1, error);
}

bool ContainerWriter::Finish(int64_t endMs, std::string* error)
{
    if (finished)
        return true;
    finished = true;
    if (pending.empty() && !started)
        return true;
    if (!started && !Start(error))
        return false;
    if (!WriteUpTo(1, error))
        return false;
    if (!pending.empty()) {
        const Pending& last = pending.back();
        const int64_t duration = endMs > last.timeMs ? endMs - last.timeMs : std::max<int64_t>(lastDurationMs, 1);
        if (!WritePacket(last, duration, error))
            return false;
        pending.clear();
    }
    int status = av_write_trailer(context);
    if (status >= 0)
        status = avio_closep(&context->pb);
    if (status < 0) {
        *error = AvError(status);
        return false;
    }
    return true;
}

}  // namespace hqcli
