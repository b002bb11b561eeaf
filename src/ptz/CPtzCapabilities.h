#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <velkora/records.h>

namespace velkora {

// PTZ flags and preset count of one channel, with the text form that the
// capability query stores as device parameter 3 ("PTZ capabilities").
class CPtzCapabilities
{
public:
    CPtzCapabilities() = default;
    CPtzCapabilities(const CPtzCapabilities&) = default;
    CPtzCapabilities& operator=(const CPtzCapabilities&) = default;
    virtual ~CPtzCapabilities() = default;

    // "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Unzoom=1; Center=1; Preset=0"
    std::string ToString() const;
    void FromString(std::string_view text);
    // Writes words 1..5, 7 and 11..13; a null record is ignored.
    void FillRecord(PTZ_CAPABILITIES* record) const;

    bool pan = false;
    bool tilt = false;
    bool zoom = false;
    bool focus = false;
    bool iris = false;
    bool areaZoom = false;
    bool center = false;
    bool unzoom = false;
    uint32_t presetCount = 0;
};

}  // namespace velkora
