#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include <velkora/hostframes.h>

namespace velkora {

// Implemented by the RTP channel: time stamps, source name and delivery of finished frames.
// Called on the thread that feeds the parser (the RTP packet queue).
class IMediaParserClient
{
public:
    virtual ~IMediaParserClient() = default;
    // Delivers a filled frame; false when the host did not take it.
    virtual bool OnFrame(ipcapture::IHostFrame* frame) = 0;
    virtual std::pair<uint16_t, uint16_t> GetChannelPair() = 0;
    // Valid until the next call; kept by the client so that a frame costs no allocation.
    virtual const std::string& GetFrameSourceName() = 0;
    virtual void GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& frameTime) = 0;
};

}  // namespace velkora
