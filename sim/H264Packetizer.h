#pragma once

#include "sim/Clip.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// RFC 6184 payloads of one access unit (packetization mode 1): the parameter
// sets leading it go together in one STAP-A, a NAL unit larger than `mtu` is cut
// into FU-A fragments, every other NAL unit travels alone. No payload exceeds `mtu`.
std::vector<Bytes> PacketizeAccessUnit(const AccessUnit& au, std::size_t mtu = 1400);

// RFC 3550 fixed header (12 bytes, version 2, no CSRC).
void PutRtpHeader(std::uint8_t* header, std::uint8_t payloadType, bool marker, std::uint16_t sequence,
                  std::uint32_t timestamp, std::uint32_t ssrc);
// The 4-byte header of a packet interleaved in an RTSP connection: '$', channel, length.
void PutInterleavedHeader(std::uint8_t* header, std::uint8_t channel, std::uint16_t size);
// The RTP header followed by the payload.
Bytes MakeRtpPacket(std::uint8_t payloadType, bool marker, std::uint16_t sequence, std::uint32_t timestamp,
                    std::uint32_t ssrc, const Bytes& payload);

}  // namespace sim
