#include "foundation/SocketLibrary.h"

#include <atomic>

namespace velkora {

namespace {
std::atomic<int> users{0};
}

bool SocketLibraryStartup()
{
    users.fetch_add(1);
    return true;
}

void SocketLibraryCleanup()
{
    int current = users.load();
    while (current > 0 && !users.compare_exchange_weak(current, current - 1)) {
    }
}

int SocketLibraryUsers()
{
    return users.load();
}

} // namespace velkora
