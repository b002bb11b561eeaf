#pragma once
// Counts heap allocations per thread by standing in for operator new, so the
// allocations of the library's threads can be told apart from the host's
// (frame factory, sink) and the in-process simulator's.

#include <sys/types.h>

#include <cstdint>

namespace benchhost {

// Allocations made by thread `tid` outside host code; 0 for a thread that made none.
uint64_t AllocationsOfThread(pid_t tid);
// Allocations made inside HostScope, by any thread.
uint64_t HostAllocations();

// Marks the calling thread as running host code (frame factory, sink) while it lives.
class HostScope
{
public:
    HostScope();
    ~HostScope();
    HostScope(const HostScope&) = delete;
    HostScope& operator=(const HostScope&) = delete;
};

// With BENCH_ALLOC_TRACE=N in the environment, the first N allocations of
// threads whose name starts with one of the library's prefixes, made while
// tracing is on, print their stack to stderr.
void SetAllocationTracing(bool on);

}  // namespace benchhost
