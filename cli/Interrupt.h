#pragma once
// Ctrl-C and SIGTERM as an event the command can wait on. Construct it before
// any thread starts: it blocks both signals so that only its own thread takes
// them, and no library thread has a blocking call cut short.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace hqcli {

class Interrupt
{
public:
    Interrupt();
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    // True as soon as a signal arrived; waits at most `timeout` for one.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool Raised() const { return raised.load(); }

private:
    void Watch();

    std::atomic<bool> raised{false};
    std::atomic<bool> closing{false};
    std::mutex mutex;
    std::condition_variable signalled;
    std::thread watcher;
};

}  // namespace hqcli
