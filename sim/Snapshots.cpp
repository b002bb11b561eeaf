#include "sim/Snapshots.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sim {

void SnapshotLibrary::Load(const std::string& directory)
{
    pictures_.clear();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        unsigned w = 0, h = 0;
        char tail[8] = {};
        const std::string name = entry.path().filename().string();
        if (std::sscanf(name.c_str(), "%ux%u.%7s", &w, &h, tail) != 3 || std::string(tail) != "jpg")
            continue;
        if (w == 0 || h == 0 || w > 8192 || h > 8192 || entry.file_size(error) > kMaxPictureBytes)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        auto data =
            std::make_shared<std::string>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A JPEG starts with a start-of-image marker; anything else is not served.
        if (data->size() < 4 || data->compare(0, 2, "\xFF\xD8") != 0)
            continue;
        pictures_[{w, h}] = std::move(data);
    }
}

std::shared_ptr<const std::string> SnapshotLibrary::Find(unsigned width, unsigned height) const
{
    if (pictures_.empty())
        return nullptr;
    if (auto it = pictures_.find({width, height}); it != pictures_.end())
        return it->second;
    for (const auto& [size, picture] : pictures_)
        if (size.first >= width && size.second >= height)
            return picture;
    return pictures_.rbegin()->second;
}

}  // namespace sim
