#include "Library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace hqcli {

namespace {

std::string ExecutableDirectory()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

std::vector<std::string> Candidates()
{
    if (const char* chosen = std::getenv("HARNOQUISTEL_LIBRARY"); chosen != nullptr && *chosen != '\0')
        return {chosen};  // an explicit choice is never silently replaced by another copy
    std::vector<std::string> paths;
    if (const std::string dir = ExecutableDirectory(); !dir.empty()) {
        paths.push_back(dir + "/libharnoquistel.so");
#ifdef HQ_INSTALLED_LIBRARY
        // Installed: the library directory of the same prefix, by its SONAME.
        paths.push_back(dir + "/" HQ_INSTALLED_LIBRARY);
#endif
        paths.push_back(dir + "/../lib/libharnoquistel.so");
    }
#ifdef HQ_BUILD_LIBRARY
    paths.push_back(HQ_BUILD_LIBRARY);
#endif
    return paths;
}

template <typename Function> bool Resolve(void* handle, const char* name, Function& function, std::string* error)
{
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr && error != nullptr)
        *error = std::string("the library does not export ") + name;
    return function != nullptr;
}

}  // namespace

std::unique_ptr<Library> Library::Load(std::string* error)
{
    std::string reasons;
    for (const std::string& path : Candidates()) {
        if (access(path.c_str(), R_OK) != 0) {
            reasons += "\n  " + path + ": not found";
            continue;
        }
        // The library carries its own C++ runtime, whose load-time pool the
        // leak checker cannot trace back to a global.
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
        if (handle == nullptr) {
            reasons += "\n  " + path + ": " + dlerror();
            continue;
        }
        // Never unloaded: a capability query thread the library had to give
        // up on may still run its code until the process ends.
        std::unique_ptr<Library> library(new Library());
        library->path = path;
        if (!Resolve(handle, "CreateIPCapture", library->CreateIPCapture, error) ||
            !Resolve(handle, "DeleteIPCapture", library->DeleteIPCapture, error) ||
            !Resolve(handle, "InitCapabilityQuery", library->InitCapabilityQuery, error) ||
            !Resolve(handle, "StartCapabilityQuery", library->StartCapabilityQuery, error) ||
            !Resolve(handle, "TerminateCapabilityQuery", library->TerminateCapabilityQuery, error) ||
            !Resolve(handle, "UninitCapabilityQuery", library->UninitCapabilityQuery, error))
            return nullptr;
        return library;
    }
    if (error != nullptr)
        *error = "cannot load libharnoquistel.so (set HARNOQUISTEL_LIBRARY to its path):" + reasons;
    return nullptr;
}

}  // namespace hqcli
