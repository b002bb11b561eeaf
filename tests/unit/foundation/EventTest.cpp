#include <gtest/gtest.h>

#include <thread>

#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"

using namespace velkora;

TEST(Event, ManualStaysSetAutoIsConsumedNoHandleFails)
{
    CManualEvent manual;
    EXPECT_FALSE(manual.Wait(0));
    EXPECT_TRUE(manual.Set());
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Reset());
    EXPECT_FALSE(manual.Wait(0));

    CAutoEvent automatic;
    automatic.Set();
    EXPECT_TRUE(automatic.Wait(0));
    EXPECT_FALSE(automatic.Wait(0));

    CEvent none;
    EXPECT_FALSE(none.Set());
    EXPECT_FALSE(none.Wait(0));
    EXPECT_EQ(WaitForAnyEvent({&none}, 0), -1);
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
    EXPECT_TRUE(manual.IsSet());  // manual-reset is not consumed
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
    bool got = false;
    auto otherGetsIt = [&] {
        std::thread([&] { (got = lock.TryLock()) ? lock.Unlock() : void(); }).join();
        return got;
    };
    lock.Lock();
    EXPECT_TRUE(lock.TryLock());
    lock.Unlock();
    EXPECT_FALSE(otherGetsIt());
    lock.Unlock();
    EXPECT_TRUE(otherGetsIt());
}
