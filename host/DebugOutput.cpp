#include "DebugOutput.h"

#include <cstdio>

namespace host {

void DebugOutput::Output(velkora::CDebugInfoIf* message)
{
    if (!message)
        return;
    const char* text = message->GetText();
    DebugRecord record{message->GetLevel(), text ? text : ""};
    if (print_)
        std::fprintf(stderr, "[%u] %s\n", record.level, record.text.c_str());
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(record));
    }
    arrived_.notify_all();
}

std::vector<DebugRecord> DebugOutput::Messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<DebugRecord> DebugOutput::Find(const std::string& fragment) const
{
    std::vector<DebugRecord> found;
    std::lock_guard lock(mutex_);
    for (const DebugRecord& record : messages_)
        if (record.text.find(fragment) != std::string::npos)
            found.push_back(record);
    return found;
}

void DebugOutput::Clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
}

bool DebugOutput::WaitFor(const std::string& fragment, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] {
        for (const DebugRecord& record : messages_)
            if (record.text.find(fragment) != std::string::npos)
                return true;
        return false;
    });
}

}  // namespace host
