#pragma once

#include <map>
#include <set>
#include <string>

namespace velkora {

// The media profiles that use one video source configuration, each with the
// encoder configuration tokens the device reports as compatible with it.
class CVideoSourceInfo
{
public:
    virtual ~CVideoSourceInfo() = default;

    std::map<std::string, std::set<std::string>> profiles;  // profile token -> encoder tokens
};

}  // namespace velkora
