#pragma once
// Matroska or MP4 through libavformat, with each frame's time from the driver
// and the camera's frame rate measured from those times.

#include <deque>
#include <string>
#include <vector>

#include "FrameWriter.h"

struct AVFormatContext;
struct AVStream;

namespace hqcli {

class ContainerWriter : public FrameWriter
{
public:
    // Null with `error` when the format or the file cannot be opened.
    static std::unique_ptr<ContainerWriter> Open(const std::string& path, std::string* error);
    ~ContainerWriter() override;

    bool Write(const EncodedFrame& frame, std::string* error) override;
    bool Finish(int64_t endMs, std::string* error) override;

private:
    struct Pending {
        std::vector<uint8_t> data;  // Annex B without delimiters
        int64_t timeMs;
        bool key;
        uint16_t width, height;
    };

    ContainerWriter() = default;
    bool Start(std::string* error);
    bool WritePacket(const Pending& frame, int64_t durationMs, std::string* error);
    bool WriteUpTo(size_t keep, std::string* error);

    std::string path;
    bool mp4 = false;
    AVFormatContext* context = nullptr;
    AVStream* stream = nullptr;
    bool started = false;
    bool finished = false;
    std::vector<uint8_t> parameterSets;
    int64_t originMs = 0;
    int64_t lastFlushMs = 0;
    int64_t lastDurationMs = 0;
    // Frames wait here: before the header for the rate to be measured, after
    // it one frame for its successor to tell how long it lasts.
    std::deque<Pending> pending;
};

}  // namespace hqcli
