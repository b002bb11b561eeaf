#pragma once
// The raw writer: access units back to back, as ffplay -f h264 plays them.

#include "FrameWriter.h"

namespace hqcli {

class AnnexBWriter : public FrameWriter
{
public:
    // Takes `fd`, open for writing.
    explicit AnnexBWriter(int fd) : fd(fd) {}
    ~AnnexBWriter() override;

    bool Write(const EncodedFrame& frame, std::string* error) override;
    bool Finish(int64_t endMs, std::string* error) override;

private:
    int fd;
};

}  // namespace hqcli
