#include "http/AnswerBuffer.h"

#include <algorithm>

namespace Web {

bool AnswerBuffer::Append(const char* data, std::size_t size)
{
    if (Size() > kHighWater) {
        paused = true;
        return false;
    }
    bytes.insert(bytes.end(), data, data + size);
    return true;
}

uint32_t AnswerBuffer::Take(std::vector<uint8_t>& out, uint32_t maxBytes)
{
    const uint32_t take = static_cast<uint32_t>(std::min<std::size_t>(Size(), maxBytes));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start),
               bytes.begin() + static_cast<std::ptrdiff_t>(start + take));
    start += take;
    if (start == bytes.size()) {
        bytes.clear();
        start = 0;
    }
    return take;
}

bool AnswerBuffer::TakeResume()
{
    if (!paused || Size() > kHighWater)
        return false;
    paused = false;
    return true;
}

void AnswerBuffer::Clear()
{
    bytes.clear();
    start = 0;
    paused = false;
}

}  // namespace Web
