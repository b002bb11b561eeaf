#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channels/ChannelConfiguration.h"
#include "onvif/OnvifRecords.h"

namespace velkora {

// The profiles of a device that may serve a stream, as indices into the GetProfiles
// answer (-1: none). Each profile counts for the first test it passes: its token is
// the target profile (the last such wins), its name is our own profile name, or it
// binds exactly the target source and encoder configurations (the first of each wins).
struct ProfileCandidates {
    int byToken = -1;
    int byName = -1;
    int byBindings = -1;
};

ProfileCandidates FindProfileCandidates(const std::vector<Onvif::MediaProfile>& profiles, const ChannelTargets& targets,
                                        const std::string& ownName);

}  // namespace velkora
