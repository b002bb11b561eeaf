#pragma once
// Plain records shared between the host and the library. Their layouts are
// part of the host contract: do not reorder fields.

#include <cstdint>

// Broken-down UTC time, laid out as the host's eight 16-bit fields.
struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

namespace velkora {

// Stream kinds; kind 3 has a slot in the video capture object but no name.
enum StreamKind : uint32_t
{
    StreamKindRec = 0,
    StreamKindLive = 1,
    StreamKindRemote = 2,
    StreamKindCount = 4,
};

// Codec selector of the host; 3 is the only one this driver streams.
constexpr uint32_t CodecH264 = 3;

// The host's request for one stream.
struct StreamParams {
    // Bits 12-15 == 0x7: low 12 bits are frames per second; otherwise a
    // frame interval in milliseconds.
    uint32_t frameRate = 0;
    uint32_t quality = 0;  // 1..100
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t codec = 0;
    uint32_t kind = 0;
};

// PTZ capabilities as the host reads them: 14 consecutive 32-bit words,
// flags as 0 or 1. Word 0 belongs to the host and is never touched.
struct PTZ_CAPABILITIES {
    uint32_t hostWord0;    // 0
    uint32_t pan;          // 1
    uint32_t tilt;         // 2
    uint32_t zoom;         // 3
    uint32_t focus;        // 4
    uint32_t iris;         // 5
    uint32_t word6;        // 6
    uint32_t presetCount;  // 7
    uint32_t word8;        // 8
    uint32_t word9;        // 9
    uint32_t word10;       // 10
    uint32_t areaZoom;     // 11
    uint32_t center;       // 12
    uint32_t unzoom;       // 13
};
static_assert(sizeof(PTZ_CAPABILITIES) == 14 * sizeof(uint32_t));

}  // namespace velkora
