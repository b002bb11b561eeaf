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
    std::atomic<bool> joinSelf{false};
    std::atomic<bool> selfJoinResult{true};
    std::atomic<int> runs{0};

protected:
    uint32_t Run() override
    {
        ++runs;
        started.Set();
        if (joinSelf)
            selfJoinResult = JoinThread(0);
        (stubborn ? release : stopEvent).Wait(WaitInfinite);
        return 0;
    }
};

}  // namespace

TEST(BaseThread, StartRefusedWhileRunningAndAllowedAfterJoin)
{
    RecordingOwner owner;
    Worker worker(&owner);
    EXPECT_TRUE(worker.JoinThread(0));  // never started: nothing to wait for
    ASSERT_TRUE(worker.StartThread("worker"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_FALSE(worker.StartThread("again"));
    EXPECT_TRUE(worker.JoinThread(5000));
    EXPECT_TRUE(worker.IsStopRequested());

    worker.started.Reset();
    ASSERT_TRUE(worker.StartThread("worker"));
    EXPECT_FALSE(worker.IsStopRequested());  // a start clears the stop request
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_TRUE(worker.StopThread(5000));
    EXPECT_EQ(worker.runs, 2);
    EXPECT_TRUE(owner.Texts().empty());
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

// A worker that overruns the time-out is reported and then waited for, never
// terminated; the test releases it from the warning itself, so nothing depends on timing.
TEST(BaseThread, JoinAndStopOverrunsWarnThenWaitForTheThread)
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
    const std::string thread = "Thread (id=" + std::to_string(worker.GetThreadId()) + ", name=\"stubborn\")";
    EXPECT_TRUE(worker.JoinThread(1));
    EXPECT_EQ(owner.Texts(),
              (std::vector<std::string>{"2 velkora::CBaseThread::JoinThread: " + thread +
                                            " for device 10.0.0.5:80 was not stopped during 1 milliseconds",
                                        "3 velkora::CBaseThread::JoinThread: " + thread + " was stopped correctly"}));

    worker.release.Reset();
    worker.started.Reset();
    ASSERT_TRUE(worker.StartThread("stubborn"));
    ASSERT_TRUE(worker.started.Wait(WaitInfinite));
    EXPECT_TRUE(worker.StopThread(1));
    const auto texts = owner.Texts();
    ASSERT_EQ(texts.size(), 3u);  // warned once
    EXPECT_EQ(texts[2].rfind("2 velkora::CBaseThread::StopThread: Thread (id=", 0), 0u);
    EXPECT_NE(texts[2].find("was not stopped during 1 milliseconds and will be terminated!"), std::string::npos);
    // The thread really ended: it can be started again.
    worker.stubborn = false;
    EXPECT_TRUE(worker.StartThread("again"));
}
