#include "ptz/CPtzCapabilities.h"

#include "foundation/KeyValueLookup.h"

namespace velkora {

namespace {

constexpr std::string_view kSeparators = "; \t\r\n";
constexpr std::string_view kAssignment = "=";

std::string LookupValue(std::string_view text, std::string_view key)
{
    return LookupKeyValue(text, key, kAssignment, kSeparators);
}

bool ReadFlag(std::string_view text, std::string_view key)
{
    return LookupValue(text, key) == "1";
}

// Digits only, else 0; wraps modulo 2^32 like the device family always did.
uint32_t ReadStrictUnsigned(std::string_view value)
{
    uint32_t result = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return 0;
        result = result * 10u + static_cast<uint32_t>(c - '0');
    }
    return result;
}

}  // namespace

std::string CPtzCapabilities::ToString() const
{
    auto flag = [](bool value) { return value ? "1" : "0"; };
    std::string text;
    text += "Pan=";
    text += flag(pan);
    text += "; Tilt=";
    text += flag(tilt);
    text += "; Zoom=";
    text += flag(zoom);
    text += "; Focus=";
    text += flag(focus);
    text += "; Iris=";
    text += flag(iris);
    text += "; ";
    // Optional functions are only named when the axis they need exists.
    if (unzoom && zoom)
        text += "Unzoom=1; ";
    if (areaZoom && zoom)
        text += "AreaZoom=1; ";
    if (center && (pan || tilt))
        text += "Center=1; ";
    text += "Preset=";
    text += std::to_string(presetCount);
    return text;
}

void CPtzCapabilities::FromString(std::string_view text)
{
    pan = ReadFlag(text, "Pan");
    tilt = ReadFlag(text, "Tilt");
    zoom = ReadFlag(text, "Zoom");
    focus = ReadFlag(text, "Focus");
    iris = ReadFlag(text, "Iris");
    areaZoom = ReadFlag(text, "AreaZoom");
    center = ReadFlag(text, "Center");
    unzoom = ReadFlag(text, "Unzoom");
    presetCount = ReadStrictUnsigned(LookupValue(text, "Preset"));
}

void CPtzCapabilities::FillRecord(PTZ_CAPABILITIES* record) const
{
    if (record == nullptr)
        return;
    record->pan = pan ? 1 : 0;
    record->tilt = tilt ? 1 : 0;
    record->zoom = zoom ? 1 : 0;
    record->focus = focus ? 1 : 0;
    record->iris = iris ? 1 : 0;
    record->presetCount = presetCount;
    record->areaZoom = areaZoom ? 1 : 0;
    record->center = center ? 1 : 0;
    record->unzoom = unzoom ? 1 : 0;
}

}  // namespace velkora
