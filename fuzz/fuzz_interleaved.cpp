// The RTSP connection's byte stream once it carries interleaved media. The first byte
// picks the piece size the stream arrives in; the units found must not depend on it.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtsp/CInterleavedDemuxer.h"

namespace {

class Recorder : public velkora::CInterleavedDemuxer::Sink
{
public:
    void OnInterleavedFrame(uint8_t channel, const uint8_t* data, size_t size) override
    {
        if (size == 0 || size > 0xffff)
            std::abort();
        // Appended piece by piece: g++ 12 at -O3 reads "literal" + std::string as an
        // overlapping copy (-Wrestrict).
        std::string event(1, '$');
        event += std::to_string(channel);
        event += ':';
        event.append(reinterpret_cast<const char*>(data), size);
        events.push_back(std::move(event));
    }
    void OnRtspMessage(std::string_view message) override
    {
        if (message.size() < 4 || message.size() > velkora::CInterleavedDemuxer::kMaxMessageSize)
            std::abort();
        std::string event = "M";
        event.append(message);
        events.push_back(std::move(event));
    }
    std::vector<std::string> events;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = size_t{data[0]} + 1;
    ++data;
    --size;

    Recorder whole;
    velkora::CInterleavedDemuxer all(whole);
    const bool wholeOk = all.Feed(data, size);

    Recorder pieces;
    velkora::CInterleavedDemuxer split(pieces);
    bool splitOk = true;
    for (size_t offset = 0; offset < size && splitOk; offset += piece) {
        splitOk = split.Feed(data + offset, std::min(piece, size - offset));
        // One incomplete unit at most: a frame, or a message within its bounds.
        if (split.Pending() > velkora::CInterleavedDemuxer::kMaxMessageSize)
            std::abort();
    }
    if (wholeOk != splitOk || whole.events != pieces.events)
        std::abort();
    if (all.Pending() > velkora::CInterleavedDemuxer::kMaxMessageSize && wholeOk)
        std::abort();
    return 0;
}
