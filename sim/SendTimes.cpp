#include "sim/SendTimes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace sim {
namespace {

std::atomic<SendTimesEntry*> board{nullptr};

}  // namespace

SendTimesEntry* MapSendTimes(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    void* map = MAP_FAILED;
    if (::fstat(fd, &st) == 0 &&
        (static_cast<std::size_t>(st.st_size) >= kSendTimesBytes || ::ftruncate(fd, kSendTimesBytes) == 0))
        map = ::mmap(nullptr, kSendTimesBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return map == MAP_FAILED ? nullptr : static_cast<SendTimesEntry*>(map);
}

bool OpenSendTimes(const std::string& path, std::string* error)
{
    SendTimesEntry* mapped = MapSendTimes(path);
    if (!mapped) {
        if (error)
            *error = "cannot map " + path + ": " + std::strerror(errno);
        return false;
    }
    board.store(mapped);
    return true;
}

void NoteFrameSent(std::uint16_t port)
{
    SendTimesEntry* b = board.load(std::memory_order_relaxed);
    if (!b)
        return;
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    SendTimesEntry& e = b[port];
    if (e.firstNs.load(std::memory_order_relaxed) == 0)
        e.firstNs.store(now, std::memory_order_relaxed);
    e.frames.fetch_add(1, std::memory_order_relaxed);
    e.lastNs.store(now, std::memory_order_release);
}

}  // namespace sim
