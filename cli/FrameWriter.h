#pragma once
// Where a recording's access units go: a raw Annex B file, a Matroska or MP4
// file, or a row of numbered files.

#include <cstdint>
#include <memory>
#include <string>

namespace hqcli {

struct EncodedFrame {
    const uint8_t* data;  // Annex B, as the driver delivered it
    size_t size;
    int64_t timeMs;  // on the recording's time line (FrameTimeline), increasing
    bool key;        // holds an IDR slice
    uint16_t width;
    uint16_t height;
};

class FrameWriter
{
public:
    virtual ~FrameWriter() = default;
    // False with `error` when the file cannot take it; the recording stops.
    virtual bool Write(const EncodedFrame& frame, std::string* error) = 0;
    // Completes the file. endMs, when known, is the time of the frame that
    // would follow the last one written: the last frame lasts until then.
    virtual bool Finish(int64_t endMs, std::string* error) = 0;
};

constexpr int64_t UnknownEnd = -1;

// By extension: .mkv and .mp4 through libavformat, anything else raw Annex B.
// Null with `error` when the file cannot be made.
std::unique_ptr<FrameWriter> OpenFrameWriter(const std::string& path, std::string* error);

// .mkv or .mp4, in any case.
bool IsContainerPath(const std::string& path);

// "cam.mkv", 3 -> "cam-003.mkv"
std::string SegmentPath(const std::string& path, unsigned number);

}  // namespace hqcli
