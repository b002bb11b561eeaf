#include "channels/ChannelConfiguration.h"

#include "foundation/StreamKindNames.h"

namespace velkora {

std::string LookupChannelConfigValue(std::string_view text, std::string_view key)
{
    if (key.empty())
        return {};
    constexpr std::string_view separators = ";\r\n";
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view entry = text.substr(start, end - start);
        size_t eq = entry.find('=');
        if (eq != std::string_view::npos && entry.substr(0, eq) == key)
            return std::string(entry.substr(eq + 1));
        start = end + 1;
    }
    return {};
}

ChannelTargets ReadChannelTargets(std::string_view configuration, uint32_t channelIndex, uint32_t kind)
{
    const std::string index = std::to_string(channelIndex);
    const std::string suffix = index + NamesOfStreamKind(kind).keySuffix;
    ChannelTargets targets;
    targets.source = LookupChannelConfigValue(configuration, "source" + index);
    targets.profile = LookupChannelConfigValue(configuration, "profile" + suffix);
    targets.encoder = LookupChannelConfigValue(configuration, "encoder" + suffix);
    return targets;
}

}  // namespace velkora
