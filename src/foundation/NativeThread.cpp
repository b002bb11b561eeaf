#include "foundation/NativeThread.h"

#include <pthread.h>
#include <unistd.h>

#include <system_error>

namespace velkora {

NativeThread::~NativeThread()
{
    if (!thread_.joinable())
        return;
    if (IsCurrent())
        thread_.detach();
    else
        thread_.join();
}

bool NativeThread::Start(std::function<void()> body, const std::string& name)
{
    if (thread_.joinable())
        return false;
    ended_.Reset();
    id_.store(0);
    self_.store(std::thread::id());
    exists_.store(true);
    try {
        thread_ = std::thread([this, body = std::move(body), name] {
            id_.store(static_cast<uint32_t>(gettid()));
            self_.store(std::this_thread::get_id());
            // Kernel thread names hold 15 characters.
            pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
            try {
                body();
            } catch (...) {
            }
            ended_.Set();
        });
    } catch (const std::system_error&) {
        exists_.store(false);
        return false;
    }
    return true;
}

bool NativeThread::IsCurrent() const
{
    return self_.load() == std::this_thread::get_id();
}

void NativeThread::Join()
{
    if (!thread_.joinable())
        return;
    if (IsCurrent())
        thread_.detach();
    else
        thread_.join();
    self_.store(std::thread::id());
    exists_.store(false);
}

}  // namespace velkora
