#include "AllocationCount.h"

#include <execinfo.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace benchhost {
namespace {

struct ThreadSlot {
    std::atomic<pid_t> tid{0};
    std::atomic<uint64_t> allocations{0};
};

// Fixed storage: counting must not allocate.
constexpr unsigned kSlots = 16384;
ThreadSlot slots[kSlots];
std::atomic<unsigned> slotsUsed{0};
std::atomic<uint64_t> hostAllocations{0};
std::atomic<bool> tracing{false};
std::atomic<long> traceBudget{-1};  // -1: not read from the environment yet

thread_local ThreadSlot* threadSlot = nullptr;
thread_local int hostDepth = 0;
thread_local bool inTrace = false;

bool IsLibraryThread()
{
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    for (const char* prefix : {"Capture ch", "RTSP Client", "UDP client", "RTP Packet", "RTCP Handler"})
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0)
            return true;
    return false;
}

void Trace()
{
    long budget = traceBudget.load();
    if (budget < 0) {
        const char* text = std::getenv("BENCH_ALLOC_TRACE");
        budget = text ? std::atol(text) : 0;
        traceBudget.store(budget);
    }
    if (budget == 0 || !IsLibraryThread() || traceBudget.fetch_sub(1) <= 0)
        return;
    inTrace = true;
    void* frames[24];
    const int depth = backtrace(frames, 24);
    std::fprintf(stderr, "--- allocation on a library thread\n");
    backtrace_symbols_fd(frames, depth, 2);
    inTrace = false;
}

void Count()
{
    if (hostDepth > 0) {
        hostAllocations.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (threadSlot == nullptr) {
        const unsigned index = slotsUsed.fetch_add(1);
        if (index >= kSlots)
            return;
        threadSlot = &slots[index];
        threadSlot->tid.store(static_cast<pid_t>(syscall(SYS_gettid)));
    }
    threadSlot->allocations.fetch_add(1, std::memory_order_relaxed);
    if (tracing.load(std::memory_order_relaxed) && !inTrace)
        Trace();
}

}  // namespace

uint64_t AllocationsOfThread(pid_t tid)
{
    const unsigned used = std::min(slotsUsed.load(), kSlots);
    uint64_t total = 0;  // a reused thread id adds up its threads
    for (unsigned i = 0; i < used; ++i)
        if (slots[i].tid.load() == tid)
            total += slots[i].allocations.load();
    return total;
}

uint64_t HostAllocations()
{
    return hostAllocations.load();
}

HostScope::HostScope()
{
    ++hostDepth;
}
HostScope::~HostScope()
{
    --hostDepth;
}

void SetAllocationTracing(bool on)
{
    tracing.store(on);
}

}  // namespace benchhost

// The replaceable allocation functions: the array and nothrow forms of the
// standard library call these.
void* operator new(std::size_t size)
{
    benchhost::Count();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
