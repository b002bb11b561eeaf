#pragma once
// Running the peer tools (ffmpeg, ffprobe, openssl) from a test.

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

// Runs a shell command; its exit status (-1 when it could not run), its standard output in `output`.
inline int Shell(const std::string& command, std::string* output = nullptr)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    if (output != nullptr)
        *output = std::move(text);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string RunCommand(const std::string& command)
{
    std::string output;
    Shell(command, &output);
    return output;
}

// The MD5 of every picture ffmpeg decodes from `file`, in order; empty when it cannot decode it.
inline std::vector<std::string> FrameMd5s(const std::string& file, const std::string& extra = "")
{
    std::string text;
    if (Shell("ffmpeg -nostdin -v error -i '" + file + "' " + extra + " -f framemd5 -", &text) != 0)
        return {};
    std::vector<std::string> sums;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#')
            sums.push_back(line.substr(line.rfind(' ') + 1));
    return sums;
}
