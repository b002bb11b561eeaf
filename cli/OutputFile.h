#pragma once
// Where a recording may write without destroying what is there: a regular file is
// made new (or replaced only when asked), numbered files continue after the highest
// one present, and devices and pipes are written as they are.

#include <string>

namespace hqcli {

struct OutputClaim {
    bool ok = false;
    bool created = false;  // this run made the file: it may remove it again
    std::string error;
};

// Makes `path` ready for writing. A regular file that exists is refused unless
// `overwrite`; devices, pipes and paths under /dev are taken as they are.
OutputClaim ClaimOutput(const std::string& path, bool overwrite);

// Removes `path` when the claim created it and it is still empty.
void RemoveIfCreatedAndEmpty(const std::string& path, const OutputClaim& claim);

// The highest number N of a file SegmentPath(path, N) in the folder; 0 with none.
unsigned HighestSegmentNumber(const std::string& path);

}  // namespace hqcli
