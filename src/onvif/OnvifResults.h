#pragma once
// Results and arguments of the ONVIF device and media operations.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace velkora {

struct DeviceCapabilities {
    std::string devicePath;
    uint32_t inputConnectors = 0;
    uint32_t relayOutputs = 0;
    std::string mediaPath;
    std::string ptzPath;
    std::string eventsPath;
    bool pullPointSupport = false;
};

struct DeviceInformation {
    std::string manufacturer;
    std::string model;
    std::string firmwareVersion;
    std::string serialNumber;
    std::string hardwareId;
};

struct StreamUriRequest {
    std::string streamType = "RTP-Unicast";
    std::string protocol = "UDP";
    std::string profileToken;
};

struct MediaUri {
    std::string uri;
    std::string timeout;  // xs:duration as the device sent it
};

struct Resolution {
    uint16_t width = 0;
    uint16_t height = 0;

    friend bool operator<(const Resolution& a, const Resolution& b)
    {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    }
    friend bool operator==(const Resolution& a, const Resolution& b)
    {
        return a.width == b.width && a.height == b.height;
    }
};

enum OnvifCodec : uint32_t
{
    OnvifCodecJpeg = 1,
    OnvifCodecMpeg4 = 2,
    OnvifCodecH264 = 3,
};

struct CodecOptions {
    std::string configurationToken;
    uint32_t codec = 0;
    std::set<Resolution> resolutions;
    uint32_t frameRateMin = 0;
    uint32_t frameRateMax = 0;
    uint32_t encodingIntervalMin = 0;
    uint32_t encodingIntervalMax = 0;
    uint32_t govLengthMin = 0;
    uint32_t govLengthMax = 0;
    uint32_t bitrateMin = 0;
    uint32_t bitrateMax = 0;
    std::vector<std::string> profiles;

    // Whole frame rates the encoder can be set to, ascending.
    std::set<uint32_t> AvailableFrameRates() const;
};

struct EncoderOptions {
    uint32_t qualityMin = 0;
    uint32_t qualityMax = 0;
    std::vector<CodecOptions> codecs;

    std::vector<CodecOptions> OptionsForCodec(uint32_t codec) const;
};

}  // namespace velkora
