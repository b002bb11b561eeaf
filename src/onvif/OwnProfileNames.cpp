#include "onvif/OwnProfileNames.h"

#include "foundation/StreamKindNames.h"

namespace velkora {

namespace {

constexpr char kOwnMark[] = "Velkora";

}  // namespace

std::string StreamProfileName(const std::string& sourceToken, uint32_t kind)
{
    if (sourceToken.empty())
        return {};
    std::string name = std::string(kOwnMark) + "_" + sourceToken;
    const std::string suffix = NamesOfStreamKind(kind).keySuffix;
    if (!suffix.empty())
        name += "_" + suffix;
    return name;
}

std::string NumberedProfileName(unsigned slot, const std::string& sourceToken)
{
    return std::string(kOwnMark) + "_Profile" + std::to_string(slot) + "_" + sourceToken;
}

bool IsOwnProfileName(const std::string& name)
{
    return name.find(kOwnMark) != std::string::npos;
}

}  // namespace velkora
