#pragma once
// libharnoquistel.so as a recording host sees it: loaded with dlopen, used
// only through its exported C entry points.

#include <memory>
#include <string>

#include <velkora/exports.h>

namespace hqcli {

class Library
{
public:
    // Looks in $HARNOQUISTEL_LIBRARY, beside the executable, in the library
    // directory of the prefix the command is installed in, then in the build
    // tree the command was built in. Null with `error` when nothing loads.
    static std::unique_ptr<Library> Load(std::string* error);

    const std::string& Path() const { return path; }

    decltype(&::CreateIPCapture) CreateIPCapture = nullptr;
    decltype(&::DeleteIPCapture) DeleteIPCapture = nullptr;
    decltype(&::InitCapabilityQuery) InitCapabilityQuery = nullptr;
    decltype(&::StartCapabilityQuery) StartCapabilityQuery = nullptr;
    decltype(&::TerminateCapabilityQuery) TerminateCapabilityQuery = nullptr;
    decltype(&::UninitCapabilityQuery) UninitCapabilityQuery = nullptr;

private:
    Library() = default;
    std::string path;
};

}  // namespace hqcli
