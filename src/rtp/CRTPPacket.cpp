#include "rtp/CRTPPacket.h"

#include <cstring>

namespace velkora {

namespace {

uint16_t ReadBe16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t ReadBe32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

constexpr size_t kHeaderSize = 12;

}  // namespace

void CRTPPacket::Clear()
{
    csrcCount_ = 0;
    csrcList_.clear();
    ssrc_ = 0;
    marker_ = 0;
    padding_ = 0;
    payloadType_ = 0;
    sequenceNumber_ = 0;
    timestamp_ = 0;
    extensionProfile_ = 0;
    extensionLength_ = 0;
    extensionData_.clear();
    payload_.clear();
}

void CRTPPacket::TrimStorage(size_t keep)
{
    Clear();
    for (std::vector<uint8_t>* block : {&csrcList_, &extensionData_, &payload_}) {
        if (block->capacity() > keep)
            std::vector<uint8_t>().swap(*block);
    }
}

bool CRTPPacket::Parse(const uint8_t* data, size_t length)
{
    Clear();
    if (data == nullptr || length <= kHeaderSize)
        return false;
    if ((data[0] >> 6) != 2)
        return false;

    size_t offset = kHeaderSize;
    const uint16_t csrcCount = data[0] & 0x0f;
    if (csrcCount > 0) {
        if (length - kHeaderSize <= size_t{csrcCount} * 4)
            return false;
        csrcList_.assign(data + offset, data + offset + csrcCount * 4);
        offset += csrcCount * 4;
    }

    if (data[0] & 0x10) {
        if (length - offset < 4) {
            Clear();
            return false;
        }
        const uint16_t profile = ReadBe16(data + offset);
        const uint16_t words = ReadBe16(data + offset + 2);
        // The size is computed in 32 bits: a 16-bit sum wraps for long extensions and
        // would let the copy below run past the datagram.
        const size_t extensionSize = 4 + size_t{words} * 4;
        if (extensionSize > length - offset) {
            Clear();
            return false;
        }
        extensionProfile_ = profile;
        extensionLength_ = words;
        extensionData_.assign(data + offset + 4, data + offset + extensionSize);
        offset += extensionSize;
    }

    csrcCount_ = csrcCount;
    marker_ = (data[1] >> 7) & 1;
    padding_ = (data[0] >> 5) & 1;
    payloadType_ = data[1] & 0x7f;
    sequenceNumber_ = ReadBe16(data + 2);
    timestamp_ = ReadBe32(data + 4);
    std::memcpy(&ssrc_, data + 8, 4);

    const size_t pad = padding_ ? data[length - 1] : 0;
    if (pad + offset > length) {
        Clear();
        return false;
    }
    if (pad + offset < length)
        payload_.assign(data + offset, data + length - pad);
    return true;
}

}  // namespace velkora
