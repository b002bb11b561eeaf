#pragma once
// Test-side H.264 tools: Annex B splitting, an RFC 6184 packetizer that emits real RTP
// datagrams, and an SPS writer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "rtp/CRTPPacket.h"

namespace mediatest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes StartCode3() { return {0, 0, 1}; }

// NAL units of an Annex B stream, start codes removed.
inline std::vector<Bytes> SplitAnnexB(const Bytes& stream) {
    std::vector<Bytes> nals;
    size_t i = 0;
    size_t start = SIZE_MAX;
    while (i + 2 < stream.size()) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            if (start != SIZE_MAX) {
                size_t end = i;
                while (end > start && stream[end - 1] == 0) --end;  // 4-byte start codes
                nals.emplace_back(stream.begin() + start, stream.begin() + end);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != SIZE_MAX) nals.emplace_back(stream.begin() + start, stream.end());
    return nals;
}

// Access units of a stream that carries an access unit delimiter before each of them.
inline std::vector<std::vector<Bytes>> GroupByDelimiter(const std::vector<Bytes>& nals) {
    std::vector<std::vector<Bytes>> units;
    for (const Bytes& nal : nals) {
        if ((nal[0] & 0x1f) == 9 || units.empty()) units.emplace_back();
        units.back().push_back(nal);
    }
    return units;
}

inline Bytes RtpDatagram(uint16_t sequence, uint32_t timestamp, bool marker, const Bytes& payload) {
    Bytes d{0x80, static_cast<uint8_t>((marker ? 0x80 : 0) | 96),
            static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
            static_cast<uint8_t>(timestamp >> 24), static_cast<uint8_t>(timestamp >> 16),
            static_cast<uint8_t>(timestamp >> 8), static_cast<uint8_t>(timestamp),
            0x11, 0x22, 0x33, 0x44};
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

inline velkora::CRTPPacket MakePacket(uint16_t sequence, uint32_t timestamp, bool marker, const Bytes& payload) {
    velkora::CRTPPacket p;
    const Bytes d = RtpDatagram(sequence, timestamp, marker, payload);
    p.Parse(d.data(), d.size());
    return p;
}

// RFC 6184 packetization of one access unit, as a camera would send it.
class Packetizer {
public:
    enum class Mode { SingleNal, StapA };

    explicit Packetizer(Mode mode, size_t mtu = 1400, uint16_t firstSequence = 0)
        : mode_(mode), mtu_(mtu), sequence_(firstSequence) {}

    std::vector<Bytes> Packetize(const std::vector<Bytes>& unit, uint32_t timestamp) {
        std::vector<Bytes> payloads;
        Bytes stap;
        auto flushStap = [&] {
            if (stap.empty()) return;
            payloads.push_back(stap);
            stap.clear();
        };
        for (const Bytes& nal : unit) {
            if (nal.size() > mtu_) {
                flushStap();
                AppendFragments(nal, payloads);
            } else if (mode_ == Mode::StapA) {
                if (!stap.empty() && stap.size() + 2 + nal.size() > mtu_) flushStap();
                if (stap.empty()) stap.push_back(static_cast<uint8_t>((nal[0] & 0x60) | 24));
                stap.push_back(static_cast<uint8_t>(nal.size() >> 8));
                stap.push_back(static_cast<uint8_t>(nal.size()));
                stap.insert(stap.end(), nal.begin(), nal.end());
                stap[0] = static_cast<uint8_t>(std::max(stap[0] & 0x60, nal[0] & 0x60) | 24);
            } else {
                payloads.push_back(nal);
            }
        }
        flushStap();
        std::vector<Bytes> datagrams;
        for (size_t i = 0; i < payloads.size(); ++i)
            datagrams.push_back(RtpDatagram(sequence_++, timestamp, i + 1 == payloads.size(), payloads[i]));
        return datagrams;
    }

    uint16_t NextSequence() const { return sequence_; }

private:
    void AppendFragments(const Bytes& nal, std::vector<Bytes>& payloads) const {
        const uint8_t indicator = static_cast<uint8_t>((nal[0] & 0xe0) | 28);
        const size_t chunk = mtu_ - 2;
        for (size_t offset = 1; offset < nal.size(); offset += chunk) {
            const size_t n = std::min(chunk, nal.size() - offset);
            uint8_t header = nal[0] & 0x1f;
            if (offset == 1) header |= 0x80;
            if (offset + n == nal.size()) header |= 0x40;
            Bytes fu{indicator, header};
            fu.insert(fu.end(), nal.begin() + offset, nal.begin() + offset + n);
            payloads.push_back(fu);
        }
    }

    Mode mode_;
    size_t mtu_;
    uint16_t sequence_;
};

// MSB-first bit writer producing an RBSP, and its NAL form with emulation prevention.
class BitWriter {
public:
    void Bits(uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) Bit((value >> i) & 1);
    }
    void Bit(uint32_t bit) {
        if (used_ == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
        used_ = (used_ + 1) % 8;
    }
    void Ue(uint64_t value) {
        const uint64_t v = value + 1;
        int bits = 0;
        while ((v >> bits) > 1) ++bits;
        Bits(0, bits);
        Bits(v, bits + 1);
    }
    void Se(int64_t value) { Ue(value > 0 ? 2 * static_cast<uint64_t>(value) - 1 : 2 * static_cast<uint64_t>(-value)); }
    // rbsp_trailing_bits, then 00 00 0x sequences escaped as 00 00 03 0x.
    Bytes Nal(uint8_t header) {
        Bit(1);
        while (used_ != 0) Bit(0);
        Bytes out{header};
        int zeros = 0;
        for (uint8_t b : bytes_) {
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = (b == 0) ? zeros + 1 : 0;
        }
        return out;
    }

private:
    Bytes bytes_;
    int used_ = 0;
};

struct SpsFields {
    uint32_t profile = 66;
    uint32_t widthMbs = 80;   // pic_width_in_mbs_minus1 + 1
    uint32_t heightUnits = 45;
    bool frameMbsOnly = true;
    uint32_t pocType = 2;
    int64_t offsetForNonRefPic = 0;  // poc type 1
    bool scalingMatrix = false;
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
};

inline Bytes BuildSps(const SpsFields& f) {
    BitWriter w;
    w.Bits(f.profile, 8);
    w.Bits(0, 8);   // constraint flags
    w.Bits(31, 8);  // level 3.1
    w.Ue(0);        // seq_parameter_set_id
    if (f.profile >= 100) {
        w.Ue(1);  // 4:2:0
        w.Ue(0);
        w.Ue(0);
        w.Bit(0);
        w.Bit(f.scalingMatrix);
        if (f.scalingMatrix) {
            for (int i = 0; i < 8; ++i) {
                w.Bit(i == 0 || i == 6);
                if (i == 0 || i == 6) {
                    const int n = i < 6 ? 16 : 64;
                    for (int j = 0; j < n; ++j) w.Se(j == 0 ? 8 : 1);  // 16, 17, 18 ...
                }
            }
        }
    }
    w.Ue(0);  // log2_max_frame_num_minus4
    w.Ue(f.pocType);
    if (f.pocType == 0) w.Ue(2);
    if (f.pocType == 1) {
        w.Bit(0);
        w.Se(f.offsetForNonRefPic);
        w.Se(0);
        w.Ue(2);
        w.Se(1);
        w.Se(-1);
    }
    w.Ue(1);  // max_num_ref_frames
    w.Bit(0);
    w.Ue(f.widthMbs - 1);
    w.Ue(f.heightUnits - 1);
    w.Bit(f.frameMbsOnly);
    if (!f.frameMbsOnly) w.Bit(0);
    w.Bit(1);
    const bool crop = f.cropLeft || f.cropRight || f.cropTop || f.cropBottom;
    w.Bit(crop);
    if (crop) {
        w.Ue(f.cropLeft);
        w.Ue(f.cropRight);
        w.Ue(f.cropTop);
        w.Ue(f.cropBottom);
    }
    w.Bit(0);  // no VUI
    return w.Nal(0x67);
}

}  // namespace mediatest
