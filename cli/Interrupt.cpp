#include "Interrupt.h"

#include <pthread.h>
#include <signal.h>

namespace hqcli {

namespace {

sigset_t StopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

Interrupt::Interrupt()
{
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    watcher = std::thread([this] { Watch(); });
}

Interrupt::~Interrupt()
{
    closing.store(true);
    // Wakes the watcher's sigwait; `closing` tells it this is not the user.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
}

void Interrupt::Watch()
{
    const sigset_t signals = StopSignals();
    int number = 0;
    while (sigwait(&signals, &number) == 0) {
        if (closing.load())
            return;
        {
            std::lock_guard lock(mutex);
            raised.store(true);
        }
        signalled.notify_all();
    }
}

bool Interrupt::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex);
    return signalled.wait_for(lock, timeout, [this] { return raised.load(); });
}

}  // namespace hqcli
