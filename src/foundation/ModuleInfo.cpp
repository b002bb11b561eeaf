#include "foundation/ModuleInfo.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace velkora {

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "Talmori.dll", "libtalmori.so" and "talmori" all name the stem "talmori".
std::string ModuleStem(const char* fileName)
{
    std::string stem = Lower(BaseName(fileName));
    if (stem.rfind("lib", 0) == 0)
        stem.erase(0, 3);
    for (const char* suffix : {".dll", ".so"}) {
        const size_t at = stem.find(suffix);
        if (at != std::string::npos)
            stem.erase(at);
    }
    return stem;
}

bool MatchesStem(const std::string& path, const std::string& stem)
{
    std::string base = Lower(BaseName(path));
    if (base.rfind("lib", 0) == 0)
        base.erase(0, 3);
    return base.rfind(stem + ".so", 0) == 0;
}

// Numbers after ".so." (major, minor, build, revision); missing ones are 0.
bool ParseSoVersion(const std::string& fileName, ModuleVersion& version)
{
    const size_t at = fileName.find(".so.");
    if (at == std::string::npos)
        return false;
    std::string rest = fileName.substr(at + 4);
    uint16_t parts[4] = {0, 0, 0, 0};
    size_t count = 0;
    size_t pos = 0;
    while (count < 4) {
        const size_t dot = rest.find('.', pos);
        const std::string part = rest.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (part.empty() || part.size() > 5 ||
            !std::all_of(part.begin(), part.end(), [](unsigned char c) { return std::isdigit(c); }))
            return false;
        const unsigned long value = std::strtoul(part.c_str(), nullptr, 10);
        if (value > 0xFFFF)
            return false;
        parts[count++] = static_cast<uint16_t>(value);
        if (dot == std::string::npos)
            break;
        pos = dot + 1;
    }
    version = {parts[0], parts[1], parts[2], parts[3]};
    return true;
}

struct Search {
    std::string stem;
    std::string path;
};

int VisitObject(dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<Search*>(data);
    if (info->dlpi_name && *info->dlpi_name && MatchesStem(info->dlpi_name, search->stem)) {
        search->path = info->dlpi_name;
        return 1;
    }
    return 0;
}

}  // namespace

bool GetModuleProductVersion(const char* fileName, ModuleVersion& version)
{
    version = ModuleVersion{};
    if (!fileName || !*fileName)
        return false;
    Search search{ModuleStem(fileName), {}};
    if (search.stem.empty())
        return false;
    dl_iterate_phdr(VisitObject, &search);
    if (search.path.empty())
        return false;
    // The loaded name may be a link (libtalmori.so.6); the version is in the file's own name.
    char* real = realpath(search.path.c_str(), nullptr);
    const std::string realName = BaseName(real ? real : search.path);
    std::free(real);
    ModuleVersion found;
    if (!ParseSoVersion(realName, found))
        return false;
    version = found;
    return true;
}

std::string GetHostDirectory()
{
    std::vector<char> path(PATH_MAX);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size())
        return {};
    std::string result(path.data(), static_cast<size_t>(length));
    const size_t slash = result.rfind('/');
    if (slash != std::string::npos)
        result.erase(slash + 1);
    return result;
}

bool GetHostCoreVersion(ModuleVersion& version)
{
    return GetModuleProductVersion("talmori.dll", version);
}

bool IsVersionAtLeast(const ModuleVersion& version, uint16_t major, uint16_t minor)
{
    return version.major > major || (version.major == major && version.minor >= minor);
}

}  // namespace velkora
