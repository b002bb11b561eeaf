#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// One picture: its NAL units without start codes, in stream order.
struct AccessUnit {
    std::vector<Bytes> nalUnits;
    bool idr = false;
};

// An H.264 Annex B clip cut into access units, starting at an IDR picture.
struct Clip {
    unsigned width = 0;
    unsigned height = 0;
    Bytes sps;  // first sequence and picture parameter sets, for the SDP
    Bytes pps;
    std::vector<AccessUnit> frames;
    // The RTP payloads of each frame, cut once for every stream of the clip.
    std::vector<std::vector<Bytes>> payloads;
    std::string path;
};

// Splits an Annex B byte stream at its start codes (3 or 4 bytes).
std::vector<Bytes> SplitAnnexB(const Bytes& stream);
// Groups NAL units into access units (a parameter set, SEI or delimiter after a
// slice, or a slice with first_mb_in_slice 0, opens the next one) and drops
// everything before the first IDR picture.
std::vector<AccessUnit> GroupAccessUnits(const std::vector<Bytes>& nalUnits);

// The clips of a directory, named <width>x<height>.h264.
class ClipLibrary
{
public:
    bool Load(const std::string& directory, std::string* error);
    // The clip of exactly this size, else the smallest that covers it, else the largest.
    std::shared_ptr<const Clip> Find(unsigned width, unsigned height) const;
    std::vector<std::pair<unsigned, unsigned>> Sizes() const;

private:
    std::map<std::pair<unsigned, unsigned>, std::shared_ptr<const Clip>> clips_;
};

// The directory of the clips that come with the command: installed beside it, else
// those of the source tree.
std::string BundledClipsDirectory();

}  // namespace sim
