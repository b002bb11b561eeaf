#include "channels/ProfileMatching.h"

namespace velkora {

ProfileCandidates FindProfileCandidates(const std::vector<Onvif::MediaProfile>& profiles, const ChannelTargets& targets,
                                        const std::string& ownName)
{
    ProfileCandidates found;
    for (size_t i = 0; i < profiles.size(); ++i) {
        const Onvif::MediaProfile& profile = profiles[i];
        if (profile.token.empty() || profile.name.empty())
            continue;
        const int index = static_cast<int>(i);
        if (profile.token == targets.profile)
            found.byToken = index;
        else if (found.byName < 0 && profile.name == ownName)
            found.byName = index;
        else if (found.byBindings < 0 && profile.videoSourceConfiguration.token == targets.source &&
                 profile.videoEncoderConfiguration.token == targets.encoder)
            found.byBindings = index;
    }
    return found;
}

}  // namespace velkora
