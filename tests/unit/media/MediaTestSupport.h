#pragma once
// H.264 test tools: Annex B splitting, an RFC 6184 packetizer emitting real RTP datagrams,
// and the host side of the depacketizer (driver context, frame factory, parser client).

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "driver/IDriver.h"
#include "host/Frames.h"
#include "media/IMediaParserClient.h"
#include "rtp/CRTPPacket.h"

namespace mediatest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
const Bytes kStartCode{0, 0, 1};

// NAL units of an Annex B stream, start codes removed.
inline std::vector<Bytes> SplitAnnexB(const Bytes& s) {
    std::vector<Bytes> nals;
    size_t start = SIZE_MAX;
    for (size_t i = 0; i + 2 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
        size_t end = i;
        while (start != SIZE_MAX && end > start && s[end - 1] == 0) --end;  // 4-byte start codes
        if (start != SIZE_MAX) nals.emplace_back(s.begin() + start, s.begin() + end);
        start = i += 3;
    }
    if (start != SIZE_MAX) nals.emplace_back(s.begin() + start, s.end());
    return nals;
}

inline Bytes RtpDatagram(uint16_t seq, uint32_t ts, bool marker, const Bytes& payload) {
    return Cat({{0x80, static_cast<uint8_t>((marker ? 0x80 : 0) | 96), static_cast<uint8_t>(seq >> 8),
                 static_cast<uint8_t>(seq), static_cast<uint8_t>(ts >> 24), static_cast<uint8_t>(ts >> 16),
                 static_cast<uint8_t>(ts >> 8), static_cast<uint8_t>(ts), 0x11, 0x22, 0x33, 0x44},
                payload});
}

inline velkora::CRTPPacket MakePacket(uint16_t seq, uint32_t ts, bool marker, const Bytes& payload) {
    velkora::CRTPPacket p;
    const Bytes d = RtpDatagram(seq, ts, marker, payload);
    p.Parse(d.data(), d.size());
    return p;
}

// FU-A fragments of a NAL unit, `chunk` bytes of it per packet.
inline std::vector<Bytes> FragmentFuA(const Bytes& nal, size_t chunk) {
    std::vector<Bytes> out;
    for (size_t offset = 1; offset < nal.size(); offset += chunk) {
        const size_t n = std::min(chunk, nal.size() - offset);
        Bytes fu{static_cast<uint8_t>((nal[0] & 0xe0) | 28), static_cast<uint8_t>(nal[0] & 0x1f)};
        if (offset == 1) fu[1] |= 0x80;
        if (offset + n == nal.size()) fu[1] |= 0x40;
        out.push_back(Cat({fu, Bytes(nal.begin() + offset, nal.begin() + offset + n)}));
    }
    return out;
}

inline Bytes StapA(const std::vector<Bytes>& nals) {
    Bytes out{0x78};
    for (const Bytes& n : nals) out = Cat({out, {static_cast<uint8_t>(n.size() >> 8), static_cast<uint8_t>(n.size())}, n});
    return out;
}

// Payloads of one access unit as a camera sends them at an MTU: NAL units that fit go
// alone (or aggregated in STAP-A), larger ones in FU-A fragments.
inline std::vector<Bytes> Packetize(const std::vector<Bytes>& unit, bool aggregate, size_t mtu = 1400) {
    std::vector<Bytes> payloads, pending;
    size_t pendingSize = 1;
    auto flush = [&] {
        if (!pending.empty()) payloads.push_back(pending.size() == 1 ? pending[0] : StapA(pending));
        pending.clear();
        pendingSize = 1;
    };
    for (const Bytes& nal : unit) {
        if (nal.size() > mtu) {
            flush();
            for (const Bytes& f : FragmentFuA(nal, mtu - 2)) payloads.push_back(f);
            continue;
        }
        if (!aggregate || pendingSize + 2 + nal.size() > mtu) flush();
        pending.push_back(nal);
        pendingSize += 2 + nal.size();
    }
    flush();
    return payloads;
}

class FakeDriver : public velkora::IDriver {
public:
    std::string GetName() override { return "10.1.2.3:8080"; }
    void DebugMessage(int32_t level, const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        messages.push_back(std::to_string(level) + " " + text);
    }
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return factory; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t) override { return {}; }
    int32_t GetParameterInt(uint32_t) override { return velkora::ParameterNotInteger; }
    uint16_t GetPTZPort() override { return 8080; }

    velkora::DEVICE_INFO info{"10.1.2.3", 8080, "", ""};
    velkora::ipcapture::IHostFrameFactory* factory = nullptr;
    std::vector<std::string> messages;
};

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
