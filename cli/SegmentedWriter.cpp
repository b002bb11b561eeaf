#include "SegmentedWriter.h"

namespace hqcli {

bool SegmentedWriter::Write(const EncodedFrame& frame, std::string* error)
{
    const bool due = current == nullptr || (frame.key && frame.timeMs - startMs >= intervalMs);
    if (due) {
        if (current != nullptr && !current->Finish(frame.timeMs, error))
            return false;
        // Until the first key frame there is nothing a file could start with.
        if (current == nullptr && !frame.key)
            return true;
        current = OpenFrameWriter(SegmentPath(path, ++number), error);
        if (current == nullptr)
            return false;
        startMs = frame.timeMs;
    }
    return current->Write(frame, error);
}

bool SegmentedWriter::Finish(int64_t endMs, std::string* error)
{
    if (current == nullptr)
        return true;
    const bool finished = current->Finish(endMs, error);
    current.reset();
    return finished;
}

}  // namespace hqcli
