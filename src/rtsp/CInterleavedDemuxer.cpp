#include "rtsp/CInterleavedDemuxer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace velkora {

namespace {

constexpr std::uint8_t kFrameMark = '$';
// "RTSP/" or a request method ("SET_PARAMETER ") is decided within this many bytes.
constexpr std::size_t kMaxStartWord = 32;

enum class Start
{
    Yes,
    No,
    NeedMore
};

bool IsUpper(std::uint8_t c)
{
    return c >= 'A' && c <= 'Z';
}

// Whether the bytes begin an RTSP message: a status line ("RTSP/") or a request line
// (an upper-case method name and a blank).
Start MessageStart(const std::uint8_t* p, std::size_t n)
{
    if (n == 0)
        return Start::NeedMore;
    if (!IsUpper(p[0]))
        return Start::No;
    for (std::size_t i = 1; i < std::min(n, kMaxStartWord); ++i) {
        const std::uint8_t c = p[i];
        if (c == ' ')
            return Start::Yes;
        if (c == '/')
            return i == 4 && std::memcmp(p, "RTSP", 4) == 0 ? Start::Yes : Start::No;
        if (!IsUpper(c) && c != '_')
            return Start::No;
    }
    return n < kMaxStartWord ? Start::NeedMore : Start::No;
}

// The Content-Length value of a header block (0 when absent); SIZE_MAX when it is not a
// number that fits.
std::size_t ContentLength(const std::uint8_t* p, std::size_t n)
{
    static constexpr char kName[] = "content-length";
    constexpr std::size_t kNameLength = sizeof kName - 1;
    std::size_t line = 0;
    while (line < n) {
        const std::uint8_t* found = static_cast<const std::uint8_t*>(std::memchr(p + line, '\n', n - line));
        const std::size_t end = found ? static_cast<std::size_t>(found - p) : n;
        std::size_t i = line;
        while (i < end && (p[i] == ' ' || p[i] == '\t'))
            ++i;
        bool match = end - i > kNameLength;
        for (std::size_t k = 0; match && k < kNameLength; ++k)
            match = std::tolower(p[i + k]) == kName[k];
        if (match) {
            i += kNameLength;
            while (i < end && (p[i] == ' ' || p[i] == '\t'))
                ++i;
            if (i == end || p[i] != ':') {
                line = end + 1;
                continue;
            }
            ++i;
            while (i < end && (p[i] == ' ' || p[i] == '\t'))
                ++i;
            std::size_t value = 0;
            std::size_t digits = 0;
            for (; i < end && p[i] >= '0' && p[i] <= '9'; ++i, ++digits) {
                value = value * 10 + (p[i] - '0');
                if (value > CInterleavedDemuxer::kMaxMessageSize)
                    return SIZE_MAX;
            }
            while (i < end && (p[i] == ' ' || p[i] == '\t' || p[i] == '\r'))
                ++i;
            return digits > 0 && i == end ? value : SIZE_MAX;
        }
        line = end + 1;
    }
    return 0;
}

}  // namespace

void CInterleavedDemuxer::Reset()
{
    buffer_.clear();
    start_ = 0;
    scanned_ = 0;
    lost_ = false;
    skipped_ = 0;
}

bool CInterleavedDemuxer::Feed(const std::uint8_t* data, std::size_t size)
{
    if (lost_)
        return false;
    if (data != nullptr && size > 0)
        buffer_.insert(buffer_.end(), data, data + size);
    while (!lost_ && start_ < buffer_.size() && TakeUnit()) {
    }
    Compact();
    return !lost_;
}

void CInterleavedDemuxer::Compact()
{
    if (start_ == 0)
        return;
    if (start_ >= buffer_.size()) {
        buffer_.clear();
    } else {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    }
    start_ = 0;
}

bool CInterleavedDemuxer::TakeUnit()
{
    const std::uint8_t* p = buffer_.data() + start_;
    const std::size_t n = buffer_.size() - start_;
    if (p[0] == kFrameMark)
        return TakeFrame();
    switch (MessageStart(p, n)) {
    case Start::Yes: return TakeMessage();
    case Start::NeedMore: return false;
    case Start::No: break;
    }
    // Neither a frame nor a message (framing lost earlier, or stray bytes): skip to the
    // next byte that could begin one.
    std::size_t skip = 1;
    while (skip < n && p[skip] != kFrameMark && !IsUpper(p[skip]))
        ++skip;
    Consume(skip);
    skipped_ += skip;
    return true;
}

bool CInterleavedDemuxer::TakeFrame()
{
    const std::uint8_t* p = buffer_.data() + start_;
    const std::size_t n = buffer_.size() - start_;
    if (n < kFrameHeaderSize)
        return false;
    const std::size_t length = (std::size_t{p[2]} << 8) | p[3];
    if (n < kFrameHeaderSize + length)
        return false;
    Consume(kFrameHeaderSize + length);
    if (length > 0)
        sink_.OnInterleavedFrame(p[1], p + kFrameHeaderSize, length);
    return true;
}

bool CInterleavedDemuxer::TakeMessage()
{
    const std::uint8_t* p = buffer_.data() + start_;
    const std::size_t n = buffer_.size() - start_;
    static constexpr std::uint8_t kEnd[] = {'\r', '\n', '\r', '\n'};
    // A line that begins with '$' cannot be a header: the answer was cut off and a
    // frame follows.
    static constexpr std::uint8_t kCut[] = {'\r', '\n', kFrameMark};
    // Bytes fed earlier were searched already (less the overlap of a pattern).
    const std::size_t from = scanned_ > sizeof kEnd ? scanned_ - sizeof kEnd : 0;
    const std::uint8_t* end = std::search(p + from, p + n, kEnd, kEnd + sizeof kEnd);
    const std::uint8_t* cut = std::search(p + from, end, kCut, kCut + sizeof kCut);
    if (cut != end) {
        // The partial answer is dropped, the frame kept.
        const std::size_t dropped = static_cast<std::size_t>(cut - p) + 2;
        Consume(dropped);
        skipped_ += dropped;
        return true;
    }
    if (end == p + n) {
        scanned_ = n;
        if (n >= kMaxHeaderSize)
            lost_ = true;
        return false;
    }
    const std::size_t headerLength = static_cast<std::size_t>(end - p) + sizeof kEnd;
    if (headerLength > kMaxHeaderSize) {
        lost_ = true;
        return false;
    }
    const std::size_t body = ContentLength(p, headerLength);
    if (body == SIZE_MAX || headerLength + body > kMaxMessageSize) {
        lost_ = true;
        return false;
    }
    if (n < headerLength + body)
        return false;
    Consume(headerLength + body);
    sink_.OnRtspMessage(std::string_view(reinterpret_cast<const char*>(p), headerLength + body));
    return true;
}

void CInterleavedDemuxer::Consume(std::size_t bytes)
{
    start_ += bytes;
    scanned_ = 0;
}

}  // namespace velkora
