#include "FileSeries.h"

#include <filesystem>
#include <vector>

#include "AnnexB.h"

namespace hqcli {

namespace {

// "cam.mkv", 2 -> "cam-2.mkv": the files that follow a plain --out.
std::string FollowingPath(const std::string& path, unsigned number)
{
    const std::filesystem::path whole(path);
    return (whole.parent_path() / (whole.stem().string() + "-" + std::to_string(number) + whole.extension().string()))
        .string();
}

// Names taken by other files are skipped, never replaced; this bounds the search.
constexpr unsigned MaxSkipped = 1000;

}  // namespace

FileSeries::FileSeries(Options options) : options(std::move(options))
{
    if (this->options.intervalMs > 0)
        number = HighestSegmentNumber(this->options.path);
}

bool FileSeries::OpenNext(const EncodedFrame& frame, std::string* error)
{
    std::string next;
    if (options.intervalMs == 0 && paths.empty()) {
        next = options.path;
        number = 1;
    } else {
        OutputClaim claim;
        for (unsigned skipped = 0; !claim.created && skipped < MaxSkipped; ++skipped) {
            ++number;
            next = options.intervalMs > 0 ? SegmentPath(options.path, number) : FollowingPath(options.path, number);
            claim = ClaimOutput(next, false);
            if (!claim.ok && claim.error.rfind("cannot write ", 0) == 0) {
                *error = claim.error;
                return false;
            }
        }
        if (!claim.created) {
            *error = "cannot write " + next + ": every name up to it is taken";
            return false;
        }
    }
    current = OpenFrameWriter(next, error);
    if (current == nullptr)
        return false;
    paths.push_back(next);
    startMs = frame.timeMs;
    width = frame.width;
    height = frame.height;
    return true;
}

bool FileSeries::Write(const EncodedFrame& frame, std::string* error)
{
    // The driver gives a frame the size of the last sequence parameter set; only a
    // frame that carries one can change it.
    const bool resized = options.cutOnResize && current != nullptr && frame.width != 0 && frame.height != 0 &&
                         (frame.width != width || frame.height != height) &&
                         !ParameterSets(SplitNalUnits(frame.data, frame.size)).empty();
    const bool due = current == nullptr || resized ||
                     (options.intervalMs > 0 && frame.key && frame.timeMs - startMs >= options.intervalMs);
    if (due) {
        if (current != nullptr && !current->Finish(frame.timeMs, error))
            return false;
        // Until the first key frame there is nothing a file could start with.
        if (current == nullptr && !frame.key)
            return true;
        current.reset();
        if (!OpenNext(frame, error))
            return false;
        if (resized && options.onResize)
            options.onResize(paths.back(), width, height);
    }
    return current->Write(frame, error);
}

bool FileSeries::Finish(int64_t endMs, std::string* error)
{
    if (current == nullptr)
        return true;
    const bool finished = current->Finish(endMs, error);
    current.reset();
    return finished;
}

}  // namespace hqcli
