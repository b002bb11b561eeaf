#pragma once
// H.264 test tools: RFC 6184 payloads in real RTP packets, and the parser's client.

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "host/Frames.h"
#include "media/IMediaParserClient.h"
#include "rtp/CRTPPacket.h"
#include "unit/channelbase/TestDriver.h"

namespace mediatest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
const Bytes kStartCode{0, 0, 1};

inline velkora::CRTPPacket MakePacket(uint16_t seq, uint32_t ts, bool marker, const Bytes& payload) {
    const Bytes d = Cat({{0x80, uint8_t((marker ? 0x80 : 0) | 96), uint8_t(seq >> 8), uint8_t(seq), uint8_t(ts >> 24),
                          uint8_t(ts >> 16), uint8_t(ts >> 8), uint8_t(ts), 0x11, 0x22, 0x33, 0x44},
                         payload});
    velkora::CRTPPacket p;
    p.Parse(d.data(), d.size());
    return p;
}

// FU-A fragments of a NAL unit, `chunk` bytes of it per packet.
inline std::vector<Bytes> FragmentFuA(const Bytes& nal, size_t chunk) {
    std::vector<Bytes> out;
    for (size_t offset = 1; offset < nal.size(); offset += chunk) {
        const size_t n = std::min(chunk, nal.size() - offset);
        const uint8_t flags = (offset == 1 ? 0x80 : 0) | (offset + n == nal.size() ? 0x40 : 0);
        out.push_back(Cat({{uint8_t((nal[0] & 0xe0) | 28), uint8_t(flags | (nal[0] & 0x1f))},
                           Bytes(nal.begin() + offset, nal.begin() + offset + n)}));
    }
    return out;
}

inline Bytes StapA(const std::vector<Bytes>& nals) {
    Bytes out{0x78};
    for (const Bytes& n : nals) out = Cat({out, {uint8_t(n.size() >> 8), uint8_t(n.size())}, n});
    return out;
}

// The channel's part: stamps frames (milliseconds = RTP time mod 1000) and delivers them.
class FakeClient : public velkora::IMediaParserClient {
public:
    bool OnFrame(velkora::ipcapture::IHostFrame* frame) override { return sink.DeliverFrame(frame); }
    std::pair<uint16_t, uint16_t> GetChannelPair() override { return {0, 0}; }
    std::string GetFrameSourceName() override { return "Harnoquistel (Live)"; }
    void GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& time) override {
        time = SYSTEMTIME{};
        time.wMilliseconds = static_cast<uint16_t>(rtpTimestamp % 1000);
    }
    host::ChannelSink sink;
};

}  // namespace mediatest
