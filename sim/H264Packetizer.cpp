#include "sim/H264Packetizer.h"

#include <algorithm>

namespace sim {

namespace {
constexpr std::uint8_t kStapA = 24;
constexpr std::uint8_t kFuA = 28;

bool IsParameterSet(const Bytes& nal)
{
    return !nal.empty() && ((nal[0] & 0x1F) == 7 || (nal[0] & 0x1F) == 8);
}
}  // namespace

std::vector<Bytes> PacketizeAccessUnit(const AccessUnit& au, std::size_t mtu)
{
    std::vector<Bytes> out;
    const auto& nals = au.nalUnits;
    std::size_t i = 0;

    // Leading SPS/PPS: one STAP-A when two or more fit together.
    std::size_t run = 0, runBytes = 1;
    while (i + run < nals.size() && IsParameterSet(nals[i + run]) && runBytes + 2 + nals[i + run].size() <= mtu)
        runBytes += 2 + nals[i + run++].size();
    if (run >= 2) {
        Bytes stap{0};
        std::uint8_t nri = 0;
        for (std::size_t k = 0; k < run; ++k) {
            const Bytes& nal = nals[i + k];
            nri = std::max<std::uint8_t>(nri, nal[0] & 0x60);
            stap.push_back(static_cast<std::uint8_t>(nal.size() >> 8));
            stap.push_back(static_cast<std::uint8_t>(nal.size()));
            stap.insert(stap.end(), nal.begin(), nal.end());
        }
        stap[0] = nri | kStapA;
        out.push_back(std::move(stap));
        i += run;
    }

    for (; i < nals.size(); ++i) {
        const Bytes& nal = nals[i];
        if (nal.empty())
            continue;
        if (nal.size() <= mtu) {
            out.push_back(nal);
            continue;
        }
        const std::uint8_t indicator = (nal[0] & 0xE0) | kFuA;
        const std::uint8_t type = nal[0] & 0x1F;
        const std::size_t chunk = mtu - 2;
        for (std::size_t pos = 1; pos < nal.size(); pos += chunk) {
            const std::size_t len = std::min(chunk, nal.size() - pos);
            std::uint8_t header = type;
            if (pos == 1)
                header |= 0x80;  // start
            if (pos + len == nal.size())
                header |= 0x40;  // end
            Bytes frag{indicator, header};
            frag.insert(frag.end(), nal.begin() + static_cast<std::ptrdiff_t>(pos),
                        nal.begin() + static_cast<std::ptrdiff_t>(pos + len));
            out.push_back(std::move(frag));
        }
    }
    return out;
}

void PutInterleavedHeader(std::uint8_t* header, std::uint8_t channel, std::uint16_t size)
{
    header[0] = '$';
    header[1] = channel;
    header[2] = static_cast<std::uint8_t>(size >> 8);
    header[3] = static_cast<std::uint8_t>(size);
}

void PutRtpHeader(std::uint8_t* header, std::uint8_t payloadType, bool marker, std::uint16_t sequence,
                  std::uint32_t timestamp, std::uint32_t ssrc)
{
    header[0] = 0x80;
    header[1] = static_cast<std::uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F));
    header[2] = static_cast<std::uint8_t>(sequence >> 8);
    header[3] = static_cast<std::uint8_t>(sequence);
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<std::uint8_t>(timestamp >> (24 - 8 * i));
        header[8 + i] = static_cast<std::uint8_t>(ssrc >> (24 - 8 * i));
    }
}

Bytes MakeRtpPacket(std::uint8_t payloadType, bool marker, std::uint16_t sequence, std::uint32_t timestamp,
                    std::uint32_t ssrc, const Bytes& payload)
{
    // Sized once and copied into: g++ 12 -O3 reports a false -Warray-bounds on an insert
    // that grows a 12-byte vector.
    Bytes p(12 + payload.size());
    PutRtpHeader(p.data(), payloadType, marker, sequence, timestamp, ssrc);
    std::copy(payload.begin(), payload.end(), p.begin() + 12);
    return p;
}

}  // namespace sim
