#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkora {

// One RTP packet (RFC 3550 fixed header) with owned copies of its variable parts.
// Parse works on untrusted datagram bytes and never reads outside them. A packet object
// that is parsed into again, or assigned to, reuses its byte blocks: copying packets into
// kept objects allocates only while the blocks grow.
class CRTPPacket
{
public:
    CRTPPacket() = default;
    virtual ~CRTPPacket() = default;

    // Replaces the contents with the parsed datagram; false (and cleared) when malformed.
    bool Parse(const uint8_t* data, size_t length);
    void Clear();
    // Clears, and frees the byte blocks whose capacity exceeds `keep` bytes.
    void TrimStorage(size_t keep);

    uint16_t GetCsrcCount() const { return csrcCount_; }
    const std::vector<uint8_t>& GetCsrcList() const { return csrcList_; }
    uint32_t GetSsrc() const { return ssrc_; }  // the four wire bytes, not byte-swapped
    uint8_t GetMarker() const { return marker_; }
    uint8_t GetPadding() const { return padding_; }
    uint8_t GetPayloadType() const { return payloadType_; }
    uint16_t GetSequenceNumber() const { return sequenceNumber_; }
    uint32_t GetTimestamp() const { return timestamp_; }
    uint16_t GetExtensionProfile() const { return extensionProfile_; }
    uint16_t GetExtensionLength() const { return extensionLength_; }
    const std::vector<uint8_t>& GetExtensionData() const { return extensionData_; }
    uint32_t GetPayloadLength() const { return static_cast<uint32_t>(payload_.size()); }
    // Null when the payload is empty.
    const uint8_t* GetPayload() const { return payload_.empty() ? nullptr : payload_.data(); }

    // Field setters for code that builds packets (tests, the simulated camera path).
    void SetSequenceNumber(uint16_t value) { sequenceNumber_ = value; }
    void SetTimestamp(uint32_t value) { timestamp_ = value; }
    void SetMarker(uint8_t value) { marker_ = value ? 1 : 0; }
    void SetPayloadType(uint8_t value) { payloadType_ = value & 0x7f; }
    void SetPayload(const uint8_t* data, size_t length) { payload_.assign(data, data + length); }

private:
    uint16_t csrcCount_ = 0;
    std::vector<uint8_t> csrcList_;
    uint32_t ssrc_ = 0;
    uint8_t marker_ = 0;
    uint8_t padding_ = 0;
    uint8_t payloadType_ = 0;
    uint16_t sequenceNumber_ = 0;
    uint32_t timestamp_ = 0;
    uint16_t extensionProfile_ = 0;
    uint16_t extensionLength_ = 0;
    std::vector<uint8_t> extensionData_;
    std::vector<uint8_t> payload_;
};

}  // namespace velkora
