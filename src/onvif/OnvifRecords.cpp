#include "onvif/OnvifRecords.h"

#include "onvif/CXmlParser.h"
#include "onvif/XmlEscape.h"

#include <cmath>
#include <cstdio>

using velkora::CXmlParser;
using velkora::XmlEscape;

namespace Onvif {

namespace {

std::string Element(const char* name, const std::string& escapedContent)
{
    return std::string("<") + name + ">" + escapedContent + "</" + name + ">";
}

std::string NumberElement(const char* name, uint32_t value)
{
    return Element(name, std::to_string(value));
}

std::string TextElement(const char* name, const std::string& value)
{
    return Element(name, XmlEscape(value));
}

uint32_t TruncateToUnsigned(float value)
{
    // Casting NaN, negatives or out-of-range floats is undefined; clamp first.
    if (!(value > 0.0f))
        return 0;
    if (value >= 4294967296.0f)
        return UINT32_MAX;
    return static_cast<uint32_t>(value);
}

}  // namespace

bool CCommonStructure::LoadFromText(const std::string& text, const std::string& xpath)
{
    if (text.empty() || xpath.empty())
        return false;
    CXmlParser parser;
    if (!parser.Load(text))
        return false;
    const bool result = FromXml(parser, xpath);
    parser.Unload();
    return result;
}

bool CCommonNamedStructure::ReadNameAndToken(CXmlParser& parser, const std::string& xpath)
{
    if (xpath.empty())
        return !token.empty();
    name = parser.GetNodeText(xpath + "/tt:Name");
    if (token.empty())
        token = parser.GetAttribute("token", xpath);
    return !token.empty();
}

bool CCommonNamedStructure::FromXml(CXmlParser& parser, const std::string& xpath)
{
    return ReadNameAndToken(parser, xpath);
}

bool VideoSourceConfiguration::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (!ReadNameAndToken(parser, xpath))
        return false;
    useCount = ParseUInt32(parser.GetNodeText(xpath + "/tt:UseCount"));
    sourceToken = parser.GetNodeText(xpath + "/tt:SourceToken");
    const std::string bounds = xpath + "/tt:Bounds";
    boundsX = ParseUInt32(parser.GetAttribute("x", bounds));
    boundsY = ParseUInt32(parser.GetAttribute("y", bounds));
    boundsWidth = ParseUInt32(parser.GetAttribute("width", bounds));
    boundsHeight = ParseUInt32(parser.GetAttribute("height", bounds));
    return true;
}

bool MulticastConfiguration::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (xpath.empty())
        return false;
    address = parser.GetNodeText(xpath + "/tt:Address/tt:IPv4Address");
    autoStart = parser.GetNodeText(xpath + "/tt:AutoStart");
    port = ParseUInt32(parser.GetNodeText(xpath + "/tt:Port"));
    ttl = ParseUInt32(parser.GetNodeText(xpath + "/tt:TTL"));
    if (autoStart.empty())
        autoStart = "false";
    return true;
}

std::string MulticastConfiguration::ToXml() const
{
    std::string xml = "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type>";
    if (!address.empty())
        xml += TextElement("tt:IPv4Address", address);
    xml += "</tt:Address>";
    xml += NumberElement("tt:Port", port);
    xml += NumberElement("tt:TTL", ttl);
    xml += TextElement("tt:AutoStart", autoStart);
    xml += "</tt:Multicast>";
    return xml;
}

bool VideoEncoderConfiguration::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (!ReadNameAndToken(parser, xpath))
        return false;
    useCount = ParseUInt32(parser.GetNodeText(xpath + "/tt:UseCount"));
    encoding = parser.GetNodeText(xpath + "/tt:Encoding");
    quality = ParseFloat(parser.GetNodeText(xpath + "/tt:Quality"));
    width = ParseUInt16(parser.GetNodeText(xpath + "/tt:Resolution/tt:Width"));
    height = ParseUInt16(parser.GetNodeText(xpath + "/tt:Resolution/tt:Height"));
    frameRateLimit = ParseUInt32(parser.GetNodeText(xpath + "/tt:RateControl/tt:FrameRateLimit"));
    encodingInterval = ParseUInt32(parser.GetNodeText(xpath + "/tt:RateControl/tt:EncodingInterval"));
    bitrateLimit = ParseUInt32(parser.GetNodeText(xpath + "/tt:RateControl/tt:BitrateLimit"));
    h264.govLength = ParseUInt32(parser.GetNodeText(xpath + "/tt:H264/tt:GovLength"));
    h264.profile = parser.GetNodeText(xpath + "/tt:H264/tt:H264Profile");
    mpeg4.govLength = ParseUInt32(parser.GetNodeText(xpath + "/tt:MPEG4/tt:GovLength"));
    mpeg4.profile = parser.GetNodeText(xpath + "/tt:MPEG4/tt:Mpeg4Profile");
    sessionTimeout = parser.GetNodeText(xpath + "/tt:SessionTimeout");
    return multicast.FromXml(parser, xpath + "/tt:Multicast");
}

std::string VideoEncoderConfiguration::ToXml() const
{
    std::string xml = "<Configuration token=\"" + XmlEscape(token) + "\">";
    xml += TextElement("tt:Name", name);
    xml += NumberElement("tt:UseCount", useCount);
    xml += TextElement("tt:Encoding", encoding);
    xml +=
        "<tt:Resolution>" + NumberElement("tt:Width", width) + NumberElement("tt:Height", height) + "</tt:Resolution>";
    xml += NumberElement("tt:Quality", TruncateToUnsigned(quality));
    xml += "<tt:RateControl>" + NumberElement("tt:FrameRateLimit", frameRateLimit) +
           NumberElement("tt:EncodingInterval", encodingInterval) + NumberElement("tt:BitrateLimit", bitrateLimit) +
           "</tt:RateControl>";
    if (encoding == "MPEG4")
        xml += "<tt:MPEG4>" + NumberElement("tt:GovLength", mpeg4.govLength) +
               TextElement("tt:Mpeg4Profile", mpeg4.profile) + "</tt:MPEG4>";
    else if (encoding == "H264")
        xml += "<tt:H264>" + NumberElement("tt:GovLength", h264.govLength) +
               TextElement("tt:H264Profile", h264.profile) + "</tt:H264>";
    xml += multicast.ToXml();
    xml += TextElement("tt:SessionTimeout", sessionTimeout);
    xml += "</Configuration>";
    return xml;
}

bool PtzSpeed::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (xpath.empty())
        return false;
    const std::string panTiltPath = xpath + "/tt:PanTilt";
    const std::string zoomPath = xpath + "/tt:Zoom";
    const std::string panText = parser.GetAttribute("x", panTiltPath);
    const std::string tiltText = parser.GetAttribute("y", panTiltPath);
    panTiltSpace = parser.GetAttribute("space", panTiltPath);
    const std::string zoomText = parser.GetAttribute("x", zoomPath);
    zoomSpace = parser.GetAttribute("space", zoomPath);
    if (panText.empty() || tiltText.empty() || zoomText.empty())
        return false;
    pan = ParseFloat(panText);
    tilt = ParseFloat(tiltText);
    zoom = ParseFloat(zoomText);
    return true;
}

std::string PtzSpeed::ToXml() const
{
    std::string xml;
    if (!panTiltSpace.empty())
        xml += "<tt:PanTilt space=\"" + XmlEscape(panTiltSpace) + "\" x=\"" + FormatFloat(pan) + "\" y=\"" +
               FormatFloat(tilt) + "\" />";
    if (!zoomSpace.empty())
        xml += "<tt:Zoom space=\"" + XmlEscape(zoomSpace) + "\" x=\"" + FormatFloat(zoom) + "\" />";
    return xml;
}

bool PTZConfiguration::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (!ReadNameAndToken(parser, xpath))
        return false;
    useCount = parser.GetNodeText(xpath + "/tt:UseCount");
    nodeToken = parser.GetNodeText(xpath + "/tt:NodeToken");
    defaultPTZTimeout = parser.GetNodeText(xpath + "/tt:DefaultPTZTimeout");
    defaultPTZSpeed.FromXml(parser, xpath + "/tt:DefaultPTZSpeed");
    defaultAbsolutePantTiltPositionSpace = parser.GetNodeText(xpath + "/tt:DefaultAbsolutePantTiltPositionSpace");
    defaultAbsoluteZoomPositionSpace = parser.GetNodeText(xpath + "/tt:DefaultAbsoluteZoomPositionSpace");
    defaultRelativePanTiltTranslationSpace = parser.GetNodeText(xpath + "/tt:DefaultRelativePanTiltTranslationSpace");
    defaultRelativeZoomTranslationSpace = parser.GetNodeText(xpath + "/tt:DefaultRelativeZoomTranslationSpace");
    defaultContinuousPanTiltVelocitySpace = parser.GetNodeText(xpath + "/tt:DefaultContinuousPanTiltVelocitySpace");
    defaultContinuousZoomVelocitySpace = parser.GetNodeText(xpath + "/tt:DefaultContinuousZoomVelocitySpace");
    return true;
}

std::string PTZConfiguration::ToXml() const
{
    auto optional = [](const char* element, const std::string& value) {
        return value.empty() ? std::string() : TextElement(element, value);
    };
    std::string xml = "<tptz:PTZConfiguration token=\"" + XmlEscape(token) + "\">";
    xml += TextElement("tt:Name", name);
    xml += optional("tt:UseCount", useCount);
    xml += TextElement("tt:NodeToken", nodeToken);
    xml += optional("tt:DefaultAbsolutePantTiltPositionSpace", defaultAbsolutePantTiltPositionSpace);
    xml += optional("tt:DefaultAbsoluteZoomPositionSpace", defaultAbsoluteZoomPositionSpace);
    xml += optional("tt:DefaultRelativePanTiltTranslationSpace", defaultRelativePanTiltTranslationSpace);
    xml += optional("tt:DefaultRelativeZoomTranslationSpace", defaultRelativeZoomTranslationSpace);
    xml += optional("tt:DefaultContinuousPanTiltVelocitySpace", defaultContinuousPanTiltVelocitySpace);
    xml += optional("tt:DefaultContinuousZoomVelocitySpace", defaultContinuousZoomVelocitySpace);
    const std::string speed = defaultPTZSpeed.ToXml();
    if (!speed.empty())
        xml += Element("tt:DefaultPTZSpeed", speed);
    xml += optional("tt:DefaultPTZTimeout", defaultPTZTimeout);
    xml += "</tptz:PTZConfiguration>";
    return xml;
}

bool MediaProfile::FromXml(CXmlParser& parser, const std::string& xpath)
{
    if (!ReadNameAndToken(parser, xpath))
        return false;
    if (!videoSourceConfiguration.FromXml(parser, xpath + "/tt:VideoSourceConfiguration"))
        return false;
    videoEncoderConfiguration.FromXml(parser, xpath + "/tt:VideoEncoderConfiguration");
    ptzConfiguration.FromXml(parser, xpath + "/tt:PTZConfiguration");
    return true;
}

bool MediaProfile::IsComplete() const
{
    return IsValid() && videoSourceConfiguration.IsValid() && videoEncoderConfiguration.IsValid();
}

}  // namespace Onvif
