#pragma once
// A long recording as numbered files: a new one begins at the first key frame
// after each interval, so every file starts where a player can.

#include <functional>

#include "FrameWriter.h"

namespace hqcli {

class SegmentedWriter : public FrameWriter
{
public:
    // Files are SegmentPath(path, 1), (path, 2), ...
    SegmentedWriter(std::string path, int64_t intervalMs) : path(std::move(path)), intervalMs(intervalMs) {}

    bool Write(const EncodedFrame& frame, std::string* error) override;
    bool Finish(int64_t endMs, std::string* error) override;

    unsigned Files() const { return number; }

private:
    std::string path;
    const int64_t intervalMs;
    std::unique_ptr<FrameWriter> current;
    unsigned number = 0;
    int64_t startMs = 0;
};

}  // namespace hqcli
