#pragma once
// The raw writer: access units back to back, as ffplay -f h264 plays them.

#include <cstdio>

#include "FrameWriter.h"

namespace hqcli {

class AnnexBWriter : public FrameWriter
{
public:
    explicit AnnexBWriter(std::FILE* file) : file(file) {}
    ~AnnexBWriter() override;

    bool Write(const EncodedFrame& frame, std::string* error) override;
    bool Finish(int64_t endMs, std::string* error) override;

private:
    std::FILE* file;
};

}  // namespace hqcli
