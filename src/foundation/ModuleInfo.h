#pragma once
// Facts about the process the library is loaded into.

#include <cstdint>
#include <string>

namespace velkora {

struct ModuleVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

// Product version of a library loaded into the process. The name is matched
// by its stem, any case, with or without "lib" ("talmori.dll" finds
// libtalmori.so.6.4.0.0); the version is read from the numbers after ".so."
// in the real file name. False with all zeros when not loaded or unnumbered.
bool GetModuleProductVersion(const char* fileName, ModuleVersion& version);

// Product version of the host's core library, which decides the message
// levels the host understands and the capability codes it reads.
bool GetHostCoreVersion(ModuleVersion& version);

// True when version is major.minor or later; build and revision take no part.
bool IsVersionAtLeast(const ModuleVersion& version, uint16_t major, uint16_t minor);

// Directory of the process's executable, with a trailing '/'.
std::string GetHostDirectory();

}  // namespace velkora
