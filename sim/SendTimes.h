#pragma once
// A board of RTP frame send times in a shared file, for a benchmark in another process
// to time deliveries against: per destination port, the frames sent and when the
// last one's final packets went to the kernel, on CLOCK_MONOTONIC (steady_clock),
// which every process on the machine shares.

#include <atomic>
#include <cstdint>
#include <string>

namespace sim {

struct SendTimesEntry {
    std::atomic<std::int64_t> firstNs{0};  // the first frame
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::int64_t> lastNs{0};  // the latest frame
    std::int64_t reserved = 0;
};
constexpr std::size_t kSendTimesEntries = 65536;  // one per port
constexpr std::size_t kSendTimesBytes = kSendTimesEntries * sizeof(SendTimesEntry);

// Maps `path` (created, or grown to the board's size) for this process's streamers; false with `error`.
bool OpenSendTimes(const std::string& path, std::string* error = nullptr);
// Maps the board at `path` for reading and writing; nullptr when it cannot.
SendTimesEntry* MapSendTimes(const std::string& path);
// Notes a frame for `port` now, when a board is open.
void NoteFrameSent(std::uint16_t port);

}  // namespace sim
