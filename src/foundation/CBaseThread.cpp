#include "foundation/CBaseThread.h"

#include "foundation/MethodName.h"

namespace velkora {

namespace {
constexpr char kClassName[] = "CBaseThread";
}

CBaseThread::CBaseThread(IDebugMessage* owner) : owner(owner) {}

CBaseThread::~CBaseThread()
{
    StopThread(2000);
}

bool CBaseThread::StartThread(const char* threadName)
{
    stopEvent.Reset();
    if (thread.Exists()) {
        if (!thread.HasEnded())
            return false;
        thread.Join();
    }
    name = threadName ? threadName : "";
    return thread.Start([this] { RunGuarded(); }, name);
}

bool CBaseThread::JoinThread(uint32_t timeoutMs)
{
    return Finish(timeoutMs, false);
}

bool CBaseThread::StopThread(uint32_t timeoutMs)
{
    return Finish(timeoutMs, true);
}

// A thread cannot be terminated safely, so an overrun is reported as before
// and then waited for: every worker's waits are bounded and watch stopEvent.
bool CBaseThread::Finish(uint32_t timeoutMs, bool stopping)
{
    stopEvent.Set();
    if (!thread.Exists())
        return true;
    if (thread.IsCurrent())
        return false;
    if (!thread.WaitEnded(timeoutMs)) {
        const std::string device = owner ? owner->GetName() : std::string();
        if (stopping) {
            if (owner)
                owner->DebugMessage(DebugWarning,
                                    "%s: Thread (id=%u, name=\"%s\") for device %s was not stopped during %lu "
                                    "milliseconds and will be terminated!",
                                    MethodName(kClassName, "StopThread").c_str(), thread.Id(), name.c_str(),
                                    device.c_str(), static_cast<unsigned long>(timeoutMs));
            thread.WaitEnded(WaitInfinite);
        } else {
            if (owner)
                owner->DebugMessage(DebugWarning,
                                    "%s: Thread (id=%u, name=\"%s\") for device %s was not stopped during %lu "
                                    "milliseconds",
                                    MethodName(kClassName, "JoinThread").c_str(), thread.Id(), name.c_str(),
                                    device.c_str(), static_cast<unsigned long>(timeoutMs));
            thread.WaitEnded(WaitInfinite);
            if (owner)
                owner->DebugMessage(DebugNotice, "%s: Thread (id=%u, name=\"%s\") was stopped correctly",
                                    MethodName(kClassName, "JoinThread").c_str(), thread.Id(), name.c_str());
        }
    }
    thread.Join();
    return true;
}

void CBaseThread::RunGuarded()
{
    try {
        Run();
    } catch (...) {
        if (owner)
            owner->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                                MethodName(kClassName, "Run").c_str());
    }
}

}  // namespace velkora
