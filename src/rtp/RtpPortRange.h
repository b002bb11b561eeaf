#pragma once
// Local ports a channel may receive RTP on. The search takes even ports from
// kRtpPortFirst up to, but not including, kRtpPortEnd, with RTCP on the next
// odd port: the first pair is 3556/3557, the last 4554/4555.

#include <cstdint>

namespace velkora {

constexpr uint16_t kRtpPortFirst = 3556;
constexpr uint16_t kRtpPortEnd = 4556;

}  // namespace velkora
