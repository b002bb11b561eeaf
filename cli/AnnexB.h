#pragma once
// The few facts about an Annex B H.264 access unit that writing it to a file
// needs: its NAL units, whether it starts a picture sequence, its parameter sets.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hqcli {

struct NalUnit {
    const uint8_t* data;  // from the NAL header, start code excluded
    size_t size;
    int Type() const { return size > 0 ? data[0] & 0x1f : -1; }
};

constexpr int NalIdr = 5;
constexpr int NalSps = 7;
constexpr int NalPps = 8;
constexpr int NalDelimiter = 9;

std::vector<NalUnit> SplitNalUnits(const uint8_t* data, size_t size);
bool HasIdrSlice(const std::vector<NalUnit>& units);
// Whether the unit's picture is an IDR picture, from its first slice alone (all
// slices of a picture are of one kind): the slice data is not scanned.
bool StartsWithIdrPicture(const uint8_t* data, size_t size);
// Start code + SPS + start code + PPS, the form libavformat takes as
// extradata; empty unless the unit holds both.
std::vector<uint8_t> ParameterSets(const std::vector<NalUnit>& units);
// The unit again with 4-byte start codes and without delimiters: a container
// frames each access unit itself.
std::vector<uint8_t> WithoutDelimiters(const std::vector<NalUnit>& units);

}  // namespace hqcli
