#pragma once
// The numbers under which the capability query reports to the host's
// capability store (IHostCapabilityStore).

#include <cstdint>

namespace velkora {

// Keys of SetValue.
enum CapabilityKey : uint32_t
{
    CapsKeyStreamLayout = 0,   // stream count × 65536 + video source count
    CapsKeyPtz = 1,            // 1: the PTZ probe succeeded
    CapsKeyAudioInputs = 4,    // number of audio inputs
    CapsKeyMpeg4 = 6,          // 1: stream 0 offers MPEG-4
    CapsKeyJpeg = 7,           // 1: stream 0 offers JPEG
    CapsKeyH264 = 8,           // 1: stream 0 offers H.264
    CapsKeyFlag11 = 11,        // always written, always 0 for the device family
    CapsKeyFlag12 = 12,        // always written, always 0 for the device family
    CapsKeyExtraStreams = 27,  // stream count - 1, when the host shows stream properties
};

// Numbers of CreateProperty beyond the device parameters (1 to 10, DeviceParameter).
enum CapabilityProperty : int32_t
{
    CapsPropertyAudioInput = 101,
    CapsPropertyAudioOutput = 102,
    CapsPropertyLiveStream = 120,    // 120, 121, 122: codecs, resolutions, frame rates of stream 1
    CapsPropertyRemoteStream = 124,  // 124, 125, 126: the same for stream 2
};

}  // namespace velkora
