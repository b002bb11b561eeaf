#pragma once

#include <cstdint>
#include <vector>

#include "rtp/CRTPPacket.h"

namespace velkora {

class IDriver;
class IMediaParserClient;

// Base of the per-codec RTP payload parsers: turns the packets of one stream, in arrival
// order, into access units handed to the client. Not locked: one feeding thread only.
class CRTPMediaParser
{
public:
    explicit CRTPMediaParser(IDriver* driver) : driver_(driver) {}
    virtual ~CRTPMediaParser() = default;
    CRTPMediaParser(const CRTPMediaParser&) = delete;
    CRTPMediaParser& operator=(const CRTPMediaParser&) = delete;

    virtual void ProcessPacket(const CRTPPacket& packet) = 0;
    virtual void Reset() = 0;
    // Out-of-band parameter sets (from the SDP); the third is kept for codecs that have one.
    virtual void SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps,
                                  const std::vector<uint8_t>& third);

    void SetClient(IMediaParserClient* client) { client_ = client; }
    uint16_t GetWidth() const { return width_; }
    uint16_t GetHeight() const { return height_; }

protected:
    // False (after logging) when the access unit under assembly exceeds the frame limit.
    bool CheckBufferSize();

    static constexpr size_t kFrameBufferLimit = 10 * 1024 * 1024;

    uint16_t lastSequence_ = 0;
    bool firstPacket_ = true;
    IDriver* driver_;
    IMediaParserClient* client_ = nullptr;
    std::vector<uint8_t> frameBuffer_;
    std::vector<uint8_t> sps_;
    std::vector<uint8_t> pps_;
    std::vector<uint8_t> thirdParameterSet_;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
};

}  // namespace velkora
