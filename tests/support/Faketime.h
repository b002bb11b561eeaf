#pragma once
// libfaketime (LD_PRELOAD) for the tests that step the host's wall clock under a running
// stream: the preload follows a timestamp file that the test rewrites mid-run.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline std::string FindLibFaketime()
{
    for (const char* path : {"/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1",
                             "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"})
        if (std::filesystem::exists(path))
            return path;
    return {};
}

// The environment of a process whose wall clock follows `timestampFile` and whose
// monotonic clock is left alone.
inline std::vector<std::string> FaketimeEnvironment(const std::string& library, const std::string& timestampFile)
{
    return {"LD_PRELOAD=" + library, "FAKETIME_TIMESTAMP_FILE=" + timestampFile, "FAKETIME_NO_CACHE=1",
            "DONT_FAKE_MONOTONIC=1"};
}

// Replaced whole (rename), so that the preloaded library never reads half a line.
inline void SetFaketimeOffset(const std::string& timestampFile, const std::string& offset)
{
    std::ofstream(timestampFile + ".new") << offset << "\n";
    std::filesystem::rename(timestampFile + ".new", timestampFile);
}
