#pragma once
// The names of the media profiles this library creates on a device. A channel
// looks for its stream's profile by name; the capability query numbers the
// profiles it adds to a video source. Both carry the library's mark, so that a
// later query knows them as its own.

#include <cstdint>
#include <string>

namespace velkora {

// How many numbered profiles the capability query may add per video source.
constexpr unsigned kNumberedProfileSlots = 16;

// "Velkora_<source>_Live" (live stream), "Velkora_<source>_Remote" (remote stream),
// "Velkora_<source>" (other kinds); empty without a source token.
std::string StreamProfileName(const std::string& sourceToken, uint32_t kind);

// "Velkora_Profile<slot>_<source>".
std::string NumberedProfileName(unsigned slot, const std::string& sourceToken);

// True for a name that carries the library's mark anywhere.
bool IsOwnProfileName(const std::string& name);

}  // namespace velkora
