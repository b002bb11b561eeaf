#pragma once
// What the user sees on standard error while a command runs: the driver's
// messages with their levels, and on a terminal one status line that the
// messages scroll above.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <velkora/debugoutput.h>

namespace hqcli {

struct DriverMessage {
    uint8_t level;
    std::string text;
};

// "failure", "warning", "notice", "trace", "opened", or the number.
std::string LevelName(uint8_t level);

constexpr const char* kVerboseHelp = "print the library's trace of each stream start (sets HARNOQUISTEL_TRACE=1)";
// Asks the library for its trace; before the library opens a device.
void RequestTrace();

class Console : public velkora::ipcapture::IHostDebugOutput
{
public:
    // quiet: keep the messages without printing them (--json runs).
    explicit Console(bool quiet);

    void Output(velkora::CDebugInfoIf* message) override;

    void Status(const std::string& line);
    void ClearStatus();
    // A line of the command's own, printed like a driver message.
    void Note(const std::string& text);

    std::vector<DriverMessage> Messages() const;

private:
    void PrintAboveStatus(const std::string& line);

    const bool quiet;
    const bool terminal;
    mutable std::mutex mutex;
    std::string status;
    std::vector<DriverMessage> messages;
};

// What the last trace line that gave a reason said (the text after "reason: "); empty
// without one.
std::string LastTraceReason(const Console& console);

}  // namespace hqcli
