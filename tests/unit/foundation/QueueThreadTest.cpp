#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "foundation/CQueueThread.h"

using namespace velkora;

namespace {

std::atomic<int> liveItems{0};

struct Item {
    explicit Item(int value) : value(value) { ++liveItems; }
    virtual ~Item() { --liveItems; }
    int value;
};

class Worker : public CQueueThread<Item>
{
public:
    Worker() : CQueueThread<Item>(nullptr) {}
    ~Worker() override { Stop(5000); }

    std::vector<int> Processed()
    {
        std::lock_guard lock(mutex);
        return processed;
    }
    void WaitForProcessed(size_t count)
    {
        while (Processed().size() < count)
            ASSERT_TRUE(progressed.Wait(10000));
    }

    CManualEvent gate;  // items wait for it
    CManualEvent entered;
    CAutoEvent progressed;

protected:
    void ProcessItem(Item* item) override
    {
        entered.Set();
        gate.Wait(WaitInfinite);
        {
            std::lock_guard lock(mutex);
            processed.push_back(item->value);
        }
        progressed.Set();
        if (item->value < 0)
            throw std::runtime_error("bad item");
    }

private:
    std::mutex mutex;
    std::vector<int> processed;
};

}  // namespace

// Item 0 is held in ProcessItem by the gate while the rest queue up; item -5 throws.
TEST(QueueThread, InOrderPastAThrowingItemAndAFullQueueDropsTheOldest)
{
    {
        Worker worker;
        ASSERT_TRUE(worker.Start("queue"));
        EXPECT_TRUE(worker.Post(new Item(0), 4));
        ASSERT_TRUE(worker.entered.Wait(10000));
        for (int value : {1, 2, 3, 4, -5, 6})
            EXPECT_TRUE(worker.Post(new Item(value), 4));
        EXPECT_EQ(worker.GetQueueLength(), 4u);
        worker.gate.Set();
        worker.WaitForProcessed(5);
        EXPECT_EQ(worker.Processed(), (std::vector<int>{0, 3, 4, -5, 6}));
    }
    EXPECT_EQ(liveItems, 0);
}

TEST(QueueThread, StopDiscardsPendingItemsAndRefusesNewOnes)
{
    Worker worker;  // the gate holds the first item in ProcessItem
    ASSERT_TRUE(worker.Start("queue"));
    for (int value : {1, 2, 3})
        EXPECT_TRUE(worker.Post(new Item(value), 0));
    // Release the gate only once the stop is requested.
    std::thread opener([&] {
        while (!worker.IsStopRequested())
            std::this_thread::yield();
        worker.gate.Set();
    });
    EXPECT_TRUE(worker.Stop(5000));
    opener.join();
    EXPECT_LE(worker.Processed().size(), 1u);
    EXPECT_EQ(liveItems, 0);
    EXPECT_FALSE(worker.Post(new Item(4), 0));
    EXPECT_EQ(liveItems, 0);
}
