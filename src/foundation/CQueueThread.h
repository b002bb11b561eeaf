#pragma once
// A worker thread that processes posted items one at a time, in order.
// Items are owned by the queue and deleted after processing (or unprocessed
// when the thread is asked to stop).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"

namespace velkora {

template <typename T> class CQueueThread : protected CBaseThread
{
public:
    explicit CQueueThread(IDebugMessage* owner) : CBaseThread(owner) { itemEvent.Create(false); }

    ~CQueueThread() override
    {
        JoinThread(5000);
        Clear();
    }

    // maxLength 0 means unbounded; otherwise the oldest items make room.
    // After a stop request the item is deleted and false returned.
    bool Post(T* item, size_t maxLength)
    {
        std::unique_ptr<T> owned(item);
        if (stopEvent.IsSet())
            return false;
        CAutoLock guard(queueLock);
        if (maxLength != 0)
            while (!queue.empty() && queue.size() >= maxLength)
                queue.pop_front();
        queue.push_back(std::move(owned));
        itemEvent.Set();
        return true;
    }

    virtual bool Start(const char* threadName)
    {
        itemEvent.Reset();
        return StartThread(threadName);
    }

    // Drops pending items unprocessed, then joins.
    virtual bool Stop(uint32_t timeoutMs)
    {
        stopEvent.Set();
        Clear();
        return JoinThread(timeoutMs);
    }

    size_t GetQueueLength()
    {
        CAutoLock guard(queueLock);
        return queue.size();
    }

    using CBaseThread::GetThreadId;
    using CBaseThread::IsStopRequested;

protected:
    // Runs on the worker; exceptions are swallowed so one bad item does not
    // end the worker.
    virtual void ProcessItem(T* item) = 0;

    uint32_t Run() override
    {
        for (;;) {
            if (stopEvent.IsSet())
                return 0;
            // The 1 s bound lets the loop notice a stop even if a wake-up is lost.
            if (WaitForAnyEvent({&stopEvent, &itemEvent}, 1000) != 1)
                continue;
            for (;;) {
                std::unique_ptr<T> item;
                {
                    CAutoLock guard(queueLock);
                    if (queue.empty())
                        break;
                    item = std::move(queue.front());
                    queue.pop_front();
                }
                if (stopEvent.IsSet())
                    break;
                try {
                    ProcessItem(item.get());
                } catch (...) {
                }
            }
        }
    }

    CEvent itemEvent;
    CRecursiveLock queueLock;
    std::deque<std::unique_ptr<T>> queue;

private:
    void Clear()
    {
        std::deque<std::unique_ptr<T>> dropped;
        {
            CAutoLock guard(queueLock);
            dropped.swap(queue);
        }
    }
};

}  // namespace velkora
