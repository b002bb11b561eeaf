#include <gtest/gtest.h>

#include <thread>

#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"

using namespace velkora;

TEST(Event, ManualResetStaysSignalledUntilReset)
{
    CManualEvent event;
    EXPECT_FALSE(event.Wait(0));
    EXPECT_TRUE(event.Set());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Reset());
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetIsConsumedByOneWait)
{
    CAutoEvent event;
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, WithoutHandleEverythingFails)
{
    CEvent event;
    EXPECT_FALSE(event.Set());
    EXPECT_FALSE(event.Wait(0));
    CEvent* events[] = {&event};
    EXPECT_EQ(WaitForAnyEvent(events, 1, 0), -1);
}

TEST(WaitForAnyEvent, ReportsFirstSignalledAndConsumesOnlyIt)
{
    CAutoEvent first, second;
    CManualEvent manual;
    EXPECT_EQ(WaitForAnyEvent({&first, &second, &manual}, 0), -1);
    EXPECT_EQ(WaitForAnyEvent(nullptr, 0, 0), -1);

    second.Set();
    manual.Set();
    EXPECT_EQ(WaitForAnyEvent({&first, &second, &manual}, 0), 1);
    EXPECT_FALSE(second.IsSet());
    EXPECT_EQ(WaitForAnyEvent({&first, &second, &manual}, 0), 2);
    EXPECT_TRUE(manual.IsSet()); // manual-reset is not consumed
}

TEST(WaitForAnyEvent, WakesWhenAnEventIsSetLater)
{
    CManualEvent stop;
    CAutoEvent item;
    for (int round = 0; round < 200; ++round) {
        std::thread setter([&] { item.Set(); });
        EXPECT_EQ(WaitForAnyEvent({&stop, &item}, WaitInfinite), 1);
        setter.join();
    }
}

TEST(RecursiveLock, SameThreadReentersOtherThreadIsRefused)
{
    CRecursiveLock lock;
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = lock.TryLock(); }).join();
    EXPECT_FALSE(otherGotIt);
    lock.Unlock();
    lock.Unlock();
    std::thread([&] {
        otherGotIt = lock.TryLock();
        if (otherGotIt)
            lock.Unlock();
    }).join();
    EXPECT_TRUE(otherGotIt);
}
