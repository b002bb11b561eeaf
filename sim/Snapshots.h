#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace sim {

// The still pictures beside the clips (<width>x<height>.jpg), made once from each
// clip's first picture, so that snapshots need no codec here.
class SnapshotLibrary
{
public:
    // Loads what there is; a directory without pictures leaves the library empty.
    void Load(const std::string& directory);
    // The picture of exactly this size, else the smallest that covers it, else the largest; null when none.
    std::shared_ptr<const std::string> Find(unsigned width, unsigned height) const;

    static constexpr std::size_t kMaxPictureBytes = 4 << 20;

private:
    std::map<std::pair<unsigned, unsigned>, std::shared_ptr<const std::string>> pictures_;
};

}  // namespace sim
