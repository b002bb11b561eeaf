#pragma once
// Debug output of the reference host: records every message with its level
// and optionally prints it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <velkora/debugoutput.h>

namespace host {

struct DebugRecord {
    uint8_t level;
    std::string text;  // empty for a null text
};

class DebugOutput : public velkora::ipcapture::IHostDebugOutput
{
public:
    // print: also write "[level] text" lines to stderr.
    explicit DebugOutput(bool print = false) : print_(print) {}

    void Output(velkora::CDebugInfoIf* message) override;

    std::vector<DebugRecord> Messages() const;
    // Messages whose text contains the fragment.
    std::vector<DebugRecord> Find(const std::string& fragment) const;
    void Clear();
    // Waits until a message containing the fragment arrived.
    bool WaitFor(const std::string& fragment, std::chrono::milliseconds timeout) const;

private:
    const bool print_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<DebugRecord> messages_;
};

}  // namespace host
