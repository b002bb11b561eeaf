#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/CRTPMediaParser.h"

namespace velkora {

// RFC 6184 depacketizer (single NAL unit, STAP-A, FU-A) producing Annex B access units.
// Every NAL unit gets a 00 00 01 start code; SPS and PPS go in front of IDR slices; each
// access unit ends with the trailer 00 00 00 01 09. After a reset, access units are dropped
// until one carries a parsable SPS.
class CH264RTPMediaParser : public CRTPMediaParser
{
public:
    explicit CH264RTPMediaParser(IDriver* driver) : CRTPMediaParser(driver) {}

    void ProcessPacket(const CRTPPacket& packet) override;
    void Reset() override;
    void SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps,
                          const std::vector<uint8_t>& third) override;

    bool IsWaitingForSps() const { return waitingForSps_; }

private:
    bool ProcessPayload(const uint8_t* payload, size_t length);
    bool ProcessSingleNal(const uint8_t* nal, size_t length);
    bool ProcessStapA(const uint8_t* payload, size_t length);
    bool ProcessFuA(const uint8_t* payload, size_t length);
    void PutParameterSetsInFront();
    void AppendNal(const uint8_t* nal, size_t length);
    void TakeNal(const uint8_t* nal, size_t length);
    void ProcessFrame(uint32_t rtpTimestamp);

    bool waitingForSps_ = true;
    bool justReset_ = true;
};

}  // namespace velkora
