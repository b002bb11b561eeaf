#include "sim/Clip.h"

#include "sim/H264Packetizer.h"

#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sim {

std::vector<Bytes> SplitAnnexB(const Bytes& s)
{
    std::vector<Bytes> out;
    const std::size_t n = s.size();
    std::size_t i = 0, start = std::string::npos;
    while (i + 3 <= n) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            if (start != std::string::npos) {
                std::size_t end = i;
                while (end > start && s[end - 1] == 0)
                    --end;  // trailing zero of a 4-byte code
                if (end > start)
                    out.emplace_back(s.begin() + start, s.begin() + end);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != std::string::npos && start < n)
        out.emplace_back(s.begin() + start, s.end());
    return out;
}

std::vector<AccessUnit> GroupAccessUnits(const std::vector<Bytes>& nalUnits)
{
    std::vector<AccessUnit> out;
    AccessUnit current;
    bool hasSlice = false;
    auto flush = [&] {
        if (hasSlice && (current.idr || !out.empty()))
            out.push_back(std::move(current));
        current = AccessUnit{};
        hasSlice = false;
    };
    for (const auto& nal : nalUnits) {
        if (nal.empty())
            continue;
        const unsigned type = nal[0] & 0x1F;
        const bool slice = type == 1 || type == 5;
        if (slice) {
            // first_mb_in_slice is ue(v); a leading 1 bit means 0, a new picture.
            const bool firstSlice = nal.size() > 1 && (nal[1] & 0x80);
            if (hasSlice && firstSlice)
                flush();
            hasSlice = true;
            if (type == 5)
                current.idr = true;
        } else if (hasSlice && (type == 6 || type == 7 || type == 8 || type == 9)) {
            flush();
        }
        current.nalUnits.push_back(nal);
    }
    flush();
    return out;
}

bool ClipLibrary::Load(const std::string& directory, std::string* error)
{
    clips_.clear();
    DIR* dir = opendir(directory.c_str());
    if (!dir) {
        if (error)
            *error = "cannot open clip directory " + directory;
        return false;
    }
    while (dirent* e = readdir(dir)) {
        unsigned w = 0, h = 0;
        char tail[8] = {};
        if (std::sscanf(e->d_name, "%ux%u.%7s", &w, &h, tail) != 3 || std::string(tail) != "h264")
            continue;
        if (w == 0 || h == 0 || w > 8192 || h > 8192)
            continue;
        auto clip = std::make_shared<Clip>();
        clip->path = directory + "/" + e->d_name;
        std::ifstream in(clip->path, std::ios::binary);
        Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto nals = SplitAnnexB(data);
        for (const auto& nal : nals) {
            if ((nal[0] & 0x1F) == 7 && clip->sps.empty())
                clip->sps = nal;
            if ((nal[0] & 0x1F) == 8 && clip->pps.empty())
                clip->pps = nal;
        }
        clip->frames = GroupAccessUnits(nals);
        for (const AccessUnit& au : clip->frames)
            clip->payloads.push_back(PacketizeAccessUnit(au));
        clip->width = w;
        clip->height = h;
        if (clip->frames.empty() || clip->sps.empty() || clip->pps.empty())
            continue;
        clips_[{w, h}] = std::move(clip);
    }
    closedir(dir);
    if (clips_.empty()) {
        if (error)
            *error = "no usable <width>x<height>.h264 clips in " + directory;
        return false;
    }
    return true;
}

std::shared_ptr<const Clip> ClipLibrary::Find(unsigned width, unsigned height) const
{
    if (clips_.empty())
        return nullptr;
    if (auto it = clips_.find({width, height}); it != clips_.end())
        return it->second;
    for (const auto& [size, clip] : clips_)
        if (size.first >= width && size.second >= height)
            return clip;
    return clips_.rbegin()->second;
}

std::vector<std::pair<unsigned, unsigned>> ClipLibrary::Sizes() const
{
    std::vector<std::pair<unsigned, unsigned>> out;
    for (const auto& entry : clips_)
        out.push_back(entry.first);
    return out;
}

std::string BundledClipsDirectory()
{
#ifdef HQ_SIM_INSTALLED_CLIPS_DIR
    // An installed command carries the clips in its data directory, relative to
    // the executable so that any install prefix works; a build tree uses the source's.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path installed = (self.parent_path() / HQ_SIM_INSTALLED_CLIPS_DIR).lexically_normal();
        if (std::filesystem::is_directory(installed, error))
            return installed.string();
    }
#endif
    return HQ_SIM_CLIPS_DIR;
}

}  // namespace sim
