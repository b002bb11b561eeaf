#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkora {

// The ONVIF configuration tokens a stream of one device channel is bound to, as the
// capability query wrote them into the channel configuration text
// ("source0=VSC1;profile0Live=P1;encoder0Live=VEC1" ...).
struct ChannelTargets {
    std::string source;
    std::string profile;
    std::string encoder;
};

// Suffix of the profile and encoder keys: "Live" (kind 1), "Remote" (kind 2), else nothing.
const char* StreamKeySuffix(uint32_t kind);

// Name of the stream in messages: "Recording", "Live", "Remote" (kind 0, 1, 2), else empty.
const char* StreamKindName(uint32_t kind);

// Value of `key` in a text of key=value entries separated by ';', CR or LF. A key matches
// when the whole entry text before '=' equals it; a missing key gives an empty value.
std::string LookupChannelConfigValue(std::string_view text, std::string_view key);

ChannelTargets ReadChannelTargets(std::string_view configuration, uint32_t channelIndex, uint32_t kind);

}  // namespace velkora
