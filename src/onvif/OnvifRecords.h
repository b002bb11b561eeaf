#pragma once

// ONVIF configuration records: read from device answers at an XPath, some
// written back as XML fragments for requests. Only the fields below are kept.

#include "onvif/OnvifNumbers.h"

#include <cstdint>
#include <string>

namespace velkora {
class CXmlParser;
}

namespace Onvif {

class CCommonStructure
{
public:
    virtual ~CCommonStructure() = default;
    // The record as an XML fragment; empty for records that are never written.
    virtual std::string ToXml() const { return {}; }
    virtual bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) = 0;

    // Loads `text` into a parser of its own and reads the record at `xpath`.
    bool LoadFromText(const std::string& text, const std::string& xpath);
};

class CCommonNamedStructure : public CCommonStructure
{
public:
    CCommonNamedStructure() = default;
    explicit CCommonNamedStructure(std::string tokenValue) : token(std::move(tokenValue)) {}

    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;
    virtual bool IsValid() const { return !token.empty() && !name.empty(); }

    // Replaces the name; takes the "token" attribute only while the token is empty.
    bool ReadNameAndToken(velkora::CXmlParser& parser, const std::string& xpath);

    std::string token;
    std::string name;
};

class VideoSourceConfiguration : public CCommonNamedStructure
{
public:
    using CCommonNamedStructure::CCommonNamedStructure;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;

    uint32_t useCount = 0;
    std::string sourceToken;
    uint32_t boundsX = 0;
    uint32_t boundsY = 0;
    uint32_t boundsWidth = 0;
    uint32_t boundsHeight = 0;
};

class MulticastConfiguration : public CCommonStructure
{
public:
    std::string ToXml() const override;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;

    std::string address;  // IPv4
    uint32_t port = 0;
    uint32_t ttl = 0;
    std::string autoStart;
};

struct CodecSettings {
    uint32_t govLength = 0;
    std::string profile;
};

class VideoEncoderConfiguration : public CCommonNamedStructure
{
public:
    using CCommonNamedStructure::CCommonNamedStructure;
    std::string ToXml() const override;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;

    uint32_t useCount = 0;
    std::string encoding;  // "JPEG", "MPEG4", "H264"
    uint16_t width = 0;
    uint16_t height = 0;
    float quality = 0.0f;
    uint32_t frameRateLimit = 0;
    uint32_t encodingInterval = 0;
    uint32_t bitrateLimit = 0;
    CodecSettings h264;
    CodecSettings mpeg4;
    MulticastConfiguration multicast;
    std::string sessionTimeout;  // xs:duration as the device sent it
};

class PtzSpeed : public CCommonStructure
{
public:
    std::string ToXml() const override;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;

    float pan = 0.0f;
    float tilt = 0.0f;
    std::string panTiltSpace;
    float zoom = 0.0f;
    std::string zoomSpace;
};

class PTZConfiguration : public CCommonNamedStructure
{
public:
    using CCommonNamedStructure::CCommonNamedStructure;
    std::string ToXml() const override;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;

    std::string useCount;  // kept as text
    std::string nodeToken;
    std::string defaultAbsolutePantTiltPositionSpace;
    std::string defaultAbsoluteZoomPositionSpace;
    std::string defaultRelativePanTiltTranslationSpace;
    std::string defaultRelativeZoomTranslationSpace;
    std::string defaultContinuousPanTiltVelocitySpace;
    std::string defaultContinuousZoomVelocitySpace;
    PtzSpeed defaultPTZSpeed;
    std::string defaultPTZTimeout;
};

class MediaProfile : public CCommonNamedStructure
{
public:
    using CCommonNamedStructure::CCommonNamedStructure;
    bool FromXml(velkora::CXmlParser& parser, const std::string& xpath) override;
    // Profile, video source and video encoder configuration all valid.
    bool IsComplete() const;

    VideoSourceConfiguration videoSourceConfiguration;
    VideoEncoderConfiguration videoEncoderConfiguration;
    PTZConfiguration ptzConfiguration;
};

}  // namespace Onvif
