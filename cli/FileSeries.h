#pragma once
// A recording in a row of files: numbered files (FILE-001.mkv, ...), each new
// one at the first key frame after the interval, so that every file starts
// where a player can; and for containers a new file whenever the picture size
// changes, since a container describes one size and one set of parameter sets.

#include <functional>
#include <vector>

#include "FrameWriter.h"
#include "OutputFile.h"

namespace hqcli {

class FileSeries : public FrameWriter
{
public:
    struct Options {
        std::string path;
        // 0: the first file is `path` itself (claimed by the caller), later ones
        // NAME-2.mkv, ...; else numbered files after the highest one present.
        int64_t intervalMs = 0;
        bool cutOnResize = false;  // containers; raw Annex B carries the new size on
        // Called on the writing thread when a new size starts a new file.
        std::function<void(const std::string& next, uint16_t width, uint16_t height)> onResize;
    };

    explicit FileSeries(Options options);

    bool Write(const EncodedFrame& frame, std::string* error) override;
    bool Finish(int64_t endMs, std::string* error) override;

    // The files begun, in order.
    const std::vector<std::string>& Paths() const { return paths; }

private:
    bool OpenNext(const EncodedFrame& frame, std::string* error);

    Options options;
    std::unique_ptr<FrameWriter> current;
    std::vector<std::string> paths;
    unsigned number = 0;  // of the last file claimed
    int64_t startMs = 0;
    uint16_t width = 0, height = 0;  // of the current file's pictures
};

}  // namespace hqcli
