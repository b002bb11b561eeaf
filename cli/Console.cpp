#include "Console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace hqcli {

std::string LevelName(uint8_t level)
{
    switch (level) {
    case 1: return "failure";
    case 2: return "warning";
    case 3: return "notice";
    case 4: return "trace";
    case 100: return "opened";
    default: return std::to_string(level);
    }
}

Console::Console(bool quiet) : quiet(quiet), terminal(isatty(STDERR_FILENO) == 1) {}

// g++ 12 at -O3 sees an overlapping copy in `literal + std::string&&` that
// cannot overlap (a known false positive of its -Wrestrict).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
void Console::Output(velkora::CDebugInfoIf* message)
{
    if (message == nullptr)
        return;
    const char* text = message->GetText();
    DriverMessage record{message->GetLevel(), text != nullptr ? text : ""};
    std::lock_guard lock(mutex);
    if (!quiet)
        PrintAboveStatus("[" + LevelName(record.level) + "] " + record.text);
    messages.push_back(std::move(record));
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void Console::Note(const std::string& text)
{
    std::lock_guard lock(mutex);
    if (!quiet)
        PrintAboveStatus(text);
}

void Console::Status(const std::string& line)
{
    std::lock_guard lock(mutex);
    if (quiet || !terminal)
        return;
    status = line;
    std::fprintf(stderr, "\r\033[K%s", status.c_str());
    std::fflush(stderr);
}

void Console::ClearStatus()
{
    std::lock_guard lock(mutex);
    if (!status.empty())
        std::fprintf(stderr, "\r\033[K");
    status.clear();
    std::fflush(stderr);
}

std::vector<DriverMessage> Console::Messages() const
{
    std::lock_guard lock(mutex);
    return messages;
}

void Console::PrintAboveStatus(const std::string& line)
{
    if (!status.empty())
        std::fprintf(stderr, "\r\033[K%s\n%s", line.c_str(), status.c_str());
    else
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void RequestTrace()
{
    setenv("HARNOQUISTEL_TRACE", "1", 1);
}

std::string LastTraceReason(const Console& console)
{
    static const std::string marker = "reason: ";
    const std::vector<DriverMessage> messages = console.Messages();
    for (auto m = messages.rbegin(); m != messages.rend(); ++m)
        if (size_t at = m->text.find(marker); m->level == 4 && at != std::string::npos)
            return m->text.substr(at + marker.size());
    return {};
}

}  // namespace hqcli
