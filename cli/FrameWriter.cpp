#include "FrameWriter.h"

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "AnnexBWriter.h"
#include "CodecModule.h"

namespace hqcli {

namespace {

std::string Extension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

}  // namespace

std::unique_ptr<FrameWriter> OpenFrameWriter(const std::string& path, std::string* error)
{
    if (IsContainerPath(path)) {
        std::unique_ptr<FrameWriter> writer = OpenContainerWriter(path, error);
        if (writer == nullptr)
            *error = "cannot write " + path + ": " + *error;
        return writer;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<AnnexBWriter>(fd);
}

bool IsContainerPath(const std::string& path)
{
    const std::string extension = Extension(path);
    return extension == ".mkv" || extension == ".mp4";
}

std::string SegmentPath(const std::string& path, unsigned number)
{
    const std::filesystem::path whole(path);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%03u", number);
    return (whole.parent_path() / (whole.stem().string() + suffix + whole.extension().string())).string();
}

}  // namespace hqcli
