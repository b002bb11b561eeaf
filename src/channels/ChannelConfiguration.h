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

// Value of `key` in a text of key=value entries separated by ';', CR or LF. A key matches
// when the whole entry text before '=' equals it; a missing key gives an empty value.
std::string LookupChannelConfigValue(std::string_view text, std::string_view key);

// The profile and encoder keys carry the stream kind's key suffix ("profile0Live").
ChannelTargets ReadChannelTargets(std::string_view configuration, uint32_t channelIndex, uint32_t kind);

}  // namespace velkora
