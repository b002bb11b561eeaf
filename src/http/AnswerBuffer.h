#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Web {

// The answer body between libcurl and its reader: bytes wait here until taken. Above
// the high-water mark new bytes are refused so that the transfer pauses (libcurl hands
// them over again once resumed); the reader taking enough lets it resume.
class AnswerBuffer
{
public:
    static constexpr std::size_t kHighWater = 256 * 1024;

    // False: nothing was kept, the transfer must pause.
    bool Append(const char* data, std::size_t size);
    // Moves at most `maxBytes` to the end of `out`; the count moved.
    uint32_t Take(std::vector<uint8_t>& out, uint32_t maxBytes);
    // True once after a pause, when the bytes left are few enough to resume.
    bool TakeResume();

    std::size_t Size() const { return bytes.size() - start; }
    // Empty, not paused: for the next answer.
    void Clear();

private:
    std::vector<uint8_t> bytes;
    std::size_t start = 0;  // first byte not yet taken
    bool paused = false;
};

}  // namespace Web
