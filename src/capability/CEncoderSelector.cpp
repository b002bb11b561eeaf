#include "capability/CEncoderSelector.h"

namespace velkora {

void CEncoderSelector::Offer(const EncoderCandidate& candidate)
{
    if (candidate.resolutions.empty() || candidate.framerates.empty())
        return;
    auto at = winners.find(candidate.encoding);
    if (at == winners.end()) {
        winners[candidate.encoding].encoder = candidate;
        return;
    }
    EncoderCandidate& winner = at->second.encoder;
    if (winner.token == candidate.token) {
        winner.resolutions.insert(candidate.resolutions.begin(), candidate.resolutions.end());
        winner.framerates.insert(candidate.framerates.begin(), candidate.framerates.end());
        return;
    }
    const StreamCaps::Size& best = *winner.resolutions.rbegin();
    const StreamCaps::Size& offered = *candidate.resolutions.rbegin();
    if (offered > best || (offered == best && candidate.resolutions.size() > winner.resolutions.size()))
        winner = candidate;
}

void CEncoderSelector::AssignProfiles(const CVideoSourceInfo& source, const std::set<std::string>& takenProfiles)
{
    for (auto& [encoding, pick] : winners) {
        pick.profile.clear();
        for (const auto& [profile, compatible] : source.profiles) {
            if (compatible.count(pick.encoder.token) != 0 && takenProfiles.count(profile) == 0) {
                pick.profile = profile;
                break;
            }
        }
    }
}

const CEncoderSelector::Pick* CEncoderSelector::Find(uint32_t encoding) const
{
    auto at = winners.find(encoding);
    return at == winners.end() ? nullptr : &at->second;
}

}  // namespace velkora
