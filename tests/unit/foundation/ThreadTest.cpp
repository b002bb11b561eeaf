#include <gtest/gtest.h>

#include <atomic>

#include "RecordingOwner.h"
#include "foundation/CBaseThread.h"

using namespace velkora;

namespace {

// Runs until stopped, or, when stubborn, until released by the test.
class Worker : public CBaseThread
{
public:
    explicit Worker(IDebugMessage* owner) : CBaseThread(owner) {}
    ~Worker() override { JoinThread(WaitInfinite); }

    CManualEvent started;
    CManualEvent release;
    std::atomic<bool> stubborn{false};
    std::atomic<bool> selfJoinResult{true};
    std::atomic<bool> joinSelf{false};
    std::atomic<int> runs{0};

protected:
    uint32_t Run() override
    {
        ++runs;
        started.Set();
        if (joinSelf)
            selfJoinResult = JoinThread(0);
        if (stubborn)
            release.Wait(WaitInfinite);
        else
            stopEvent.Wait(WaitInfinite);
        return 0;
    }
};

} // namespace

TEST(BaseThread, StartRefusedWhileRunningAndAllowedAfterJoin)
{
    RecordingOwner owner;
    Worker worker(&owner);
    EXPECT_TRUE(worker.JoinThread(0)); // never started: nothing to wait for
    ASSERT_TRUE(worker.StartThread("worker"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_FALSE(worker.StartThread("again"));
    EXPECT_TRUE(worker.JoinThread(5000));
    EXPECT_TRUE(worker.IsStopRequested());

    worker.started.Reset();
    ASSERT_TRUE(worker.StartThread("worker"));
    EXPECT_FALSE(worker.IsStopRequested()); // a start clears the stop request
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_TRUE(worker.StopThread(5000));
    EXPECT_EQ(worker.runs, 2);
    EXPECT_TRUE(owner.Messages().empty());
}

TEST(BaseThread, JoinFromTheWorkerItselfFails)
{
    Worker worker(nullptr);
    worker.joinSelf = true;
    ASSERT_TRUE(worker.StartThread("self"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_TRUE(worker.JoinThread(5000));
    EXPECT_FALSE(worker.selfJoinResult);
}

// A worker that overruns the time-out is reported and then waited for; the
// test releases it from the warning itself, so nothing depends on timing.
TEST(BaseThread, JoinOverrunWarnsThenReportsTheStop)
{
    RecordingOwner owner;
    Worker worker(&owner);
    worker.stubborn = true;
    owner.onMessage = [&](int32_t level) {
        if (level == 2)
            worker.release.Set();
    };
    ASSERT_TRUE(worker.StartThread("stubborn"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    const uint32_t id = worker.GetThreadId();
    EXPECT_TRUE(worker.JoinThread(1));

    const auto messages = owner.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].level, 2);
    EXPECT_EQ(messages[0].text, "velkora::CBaseThread::JoinThread: Thread (id=" + std::to_string(id) +
                                    ", name=\"stubborn\") for device 10.0.0.5:80 was not stopped during 1 milliseconds");
    EXPECT_EQ(messages[1].level, 3);
    EXPECT_EQ(messages[1].text, "velkora::CBaseThread::JoinThread: Thread (id=" + std::to_string(id) +
                                    ", name=\"stubborn\") was stopped correctly");
}

TEST(BaseThread, StopOverrunWarnsOnceAndStillWaitsForTheThread)
{
    RecordingOwner owner;
    Worker worker(&owner);
    worker.stubborn = true;
    owner.onMessage = [&](int32_t) { worker.release.Set(); };
    ASSERT_TRUE(worker.StartThread("stubborn"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_TRUE(worker.StopThread(1));

    const auto messages = owner.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].level, 2);
    EXPECT_NE(messages[0].text.find("velkora::CBaseThread::StopThread: Thread (id="), std::string::npos);
    EXPECT_NE(messages[0].text.find("was not stopped during 1 milliseconds and will be terminated!"), std::string::npos);
    // The thread really ended: it can be started again.
    worker.stubborn = false;
    EXPECT_TRUE(worker.StartThread("again"));
}
