#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "capability/CVideoSourceInfo.h"
#include "capability/StreamCaps.h"

namespace velkora {

// One encoding an encoder configuration offers (ONVIF codec numbers:
// 1 JPEG, 2 MPEG-4, 3 H.264).
struct EncoderCandidate {
    std::string token;
    uint32_t encoding = 0;
    std::set<StreamCaps::Size> resolutions;
    std::set<uint32_t> framerates;
};

// Picks, for one video source, at most one encoder configuration per
// encoding, and the profile that will serve it.
class CEncoderSelector
{
public:
    struct Pick {
        EncoderCandidate encoder;
        std::string profile;
    };

    virtual ~CEncoderSelector() = default;

    void Offer(const EncoderCandidate& candidate);
    // Gives every winner the first profile (by token) whose compatible set
    // holds the winner's token and that is not in takenProfiles.
    void AssignProfiles(const CVideoSourceInfo& source, const std::set<std::string>& takenProfiles);

    const std::map<uint32_t, Pick>& Winners() const { return winners; }
    const Pick* Find(uint32_t encoding) const;

private:
    std::map<uint32_t, Pick> winners;  // by encoding
};

}  // namespace velkora
