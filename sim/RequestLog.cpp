#include "sim/RequestLog.h"

#include <algorithm>

namespace sim {

namespace {
// Memory stays bounded for a simulator left running for days.
constexpr std::size_t kMaxLines = 100000;
}  // namespace

RequestLog::~RequestLog()
{
    if (file_)
        std::fclose(file_);
}

bool RequestLog::OpenFile(const std::string& path, std::string prefix)
{
    std::lock_guard lock(mutex_);
    prefix_ = std::move(prefix);
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void RequestLog::Add(std::string line)
{
    // A request line from the network must not be able to forge further log lines.
    for (char& c : line)
        if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    {
        std::lock_guard lock(mutex_);
        if (file_) {
            std::fprintf(file_, "%s%s\n", prefix_.c_str(), line.c_str());
            std::fflush(file_);
        }
        if (lines_.size() >= kMaxLines)
            lines_.erase(lines_.begin(), lines_.begin() + kMaxLines / 2);
        lines_.push_back(std::move(line));
    }
    changed_.notify_all();
}

std::vector<std::string> RequestLog::Lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

bool RequestLog::WaitFor(const std::function<bool(const std::string&)>& match, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return std::any_of(lines_.begin(), lines_.end(), match); });
}

}  // namespace sim
