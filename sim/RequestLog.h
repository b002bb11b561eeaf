#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// Every request the simulator receives, one line each ("onvif GetProfiles",
// "rtsp DESCRIBE rtsp://...", "cgi /cgi-bin/run?..."), kept in memory and
// appended to an optional file that is flushed per line.
class RequestLog
{
public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // Lines go to the file after `prefix` (the cameras of a site share one file).
    bool OpenFile(const std::string& path, std::string prefix = {});
    void Add(std::string line);
    std::vector<std::string> Lines() const;
    // Waits until some line satisfies `match`; false when `timeout` passed first.
    bool WaitFor(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::FILE* file_ = nullptr;
    std::string prefix_;
};

}  // namespace sim
