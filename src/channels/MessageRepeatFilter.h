#pragma once

#include <string>

#include "foundation/CRecursiveLock.h"

namespace velkora {

// Remembers the last message a channel sent, so that a failure repeating on every
// retry of a stream start is logged once per run of failures, not once a second.
class CMessageRepeatFilter
{
public:
    // True when `text` differs from the last admitted message; it then becomes the last.
    bool Admit(const std::string& text)
    {
        CAutoLock guard(lock_);
        if (text == lastMessage_)
            return false;
        lastMessage_ = text;
        return true;
    }

    void Clear()
    {
        CAutoLock guard(lock_);
        lastMessage_.clear();
    }

private:
    CRecursiveLock lock_;
    std::string lastMessage_;
};

}  // namespace velkora
