#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace hqcli {

namespace fs = std::filesystem;

namespace {

// /dev/stdout may lead to a regular file the shell opened: it is the caller's.
bool IsDevicePath(const std::string& path)
{
    return path.rfind("/dev/", 0) == 0;
}

}  // namespace

OutputClaim ClaimOutput(const std::string& path, bool overwrite)
{
    OutputClaim claim;
    if (IsDevicePath(path)) {
        claim.ok = true;
        return claim;
    }
    // Exclusive creation: no file another recorder made a moment ago is taken over.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
        claim.ok = claim.created = true;
        return claim;
    }
    const int failure = errno;
    struct stat info {};
    if (failure != EEXIST || ::stat(path.c_str(), &info) != 0) {
        claim.error = "cannot write " + path + ": " + std::strerror(failure);
        return claim;
    }
    if (S_ISREG(info.st_mode) && !overwrite) {
        claim.error = path + " exists; give --overwrite to replace it";
        return claim;
    }
    claim.ok = true;
    return claim;
}

void RemoveIfCreatedAndEmpty(const std::string& path, const OutputClaim& claim)
{
    std::error_code error;
    if (claim.created && fs::is_regular_file(path, error) && fs::file_size(path, error) == 0 && !error)
        fs::remove(path, error);
}

unsigned HighestSegmentNumber(const std::string& path)
{
    const fs::path whole(path);
    const std::string stem = whole.stem().string() + "-";
    const std::string extension = whole.extension().string();
    const fs::path folder = whole.parent_path().empty() ? fs::path(".") : whole.parent_path();
    unsigned highest = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= stem.size() + extension.size() || name.rfind(stem, 0) != 0 ||
            name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        const std::string digits = name.substr(stem.size(), name.size() - stem.size() - extension.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        highest = std::max(highest, static_cast<unsigned>(std::stoul(digits)));
    }
    return highest;
}

}  // namespace hqcli
