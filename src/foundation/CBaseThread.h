#pragma once
// Base of every worker thread. A worker ends when its stopEvent is set:
// Run must wait on stopEvent (directly or through WaitForAnyEvent) with
// bounded waits. A derived class must call JoinThread or StopThread in its
// own destructor, since Run cannot be called once it is destroyed.

#include <cstdint>
#include <string>

#include "foundation/CEvent.h"
#include "foundation/IDebugMessage.h"
#include "foundation/NativeThread.h"

namespace velkora {

class CBaseThread
{
public:
    // owner names the device and receives messages; may be null.
    explicit CBaseThread(IDebugMessage* owner);
    virtual ~CBaseThread();
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    // False while the thread still runs.
    virtual bool StartThread(const char* name);
    // Sets stopEvent and waits; after the time-out a warning is sent and the
    // wait goes on without limit. False only when called from the worker.
    virtual bool JoinThread(uint32_t timeoutMs);
    // As JoinThread, with the "will be terminated!" warning on time-out.
    virtual bool StopThread(uint32_t timeoutMs);

    bool IsStopRequested() const { return stopEvent.IsSet(); }
    uint32_t GetThreadId() const { return thread.Id(); }

protected:
    virtual uint32_t Run() = 0;

    std::string name;
    NativeThread thread;
    IDebugMessage* owner;
    CManualEvent stopEvent;

private:
    bool Finish(uint32_t timeoutMs, bool stopping);
    // Body of the worker: Run, with an escaping exception reported.
    void RunGuarded();
};

}  // namespace velkora
