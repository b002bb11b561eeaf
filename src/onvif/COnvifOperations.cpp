// The ONVIF device and media operations of COnvifClient: each builds its
// operation element, runs Exchange and reads the answer with our own prefixes.

#include "onvif/COnvifClient.h"

#include "onvif/CXmlParser.h"
#include "onvif/XmlEscape.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace velkora {

namespace {

const std::string kBody = "SOAP-ENV:Envelope/SOAP-ENV:Body/";

// More records than any device has; bounds the work a hostile answer can cause
// (each record is looked up by its token).
constexpr std::size_t kMaxListRecords = 256;

}  // namespace

bool COnvifClient::LoadAnswer(CXmlParser& parser, const std::string& answer)
{
    if (!parser.Load(answer))
        return false;
    // Learn the prefixes the device declared, for our later requests.
    namespaces.Merge(parser.Namespaces());
    return true;
}

template <typename Record>
bool COnvifClient::ReadList(const std::string& answer, const std::string& base, std::vector<Record>& records)
{
    records.clear();
    if (answer.empty() || base.empty())
        return false;
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    std::vector<std::string> tokens = parser.GetAttributes("token", base);
    if (tokens.size() > kMaxListRecords)
        tokens.resize(kMaxListRecords);
    for (const std::string& token : tokens) {
        Record record(token);
        if (record.FromXml(parser, base + "[@token=" + XPathLiteral(token) + "]"))
            records.push_back(std::move(record));
    }
    return true;
}

bool COnvifClient::MediaExchange(const std::string& body)
{
    SoapRequest request(paths.mediaPath);
    request.body = body;
    std::string answer;
    return Exchange(request, answer);
}

bool COnvifClient::GetCapabilities(DeviceCapabilities& capabilities)
{
    SoapRequest request(paths.devicePath);
    request.body = MakeElement("tds:GetCapabilities", "<tds:Category>All</tds:Category>", "tds");
    std::string answer;
    return Exchange(request, answer) && ReadCapabilities(answer, capabilities);
}

bool COnvifClient::ReadCapabilities(const std::string& answer, DeviceCapabilities& capabilities)
{
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    const std::string base = kBody + "tds:GetCapabilitiesResponse/tds:Capabilities";
    capabilities.devicePath = XAddrToPath(parser.GetNodeText(base + "/tt:Device/tt:XAddr"));
    capabilities.mediaPath = XAddrToPath(parser.GetNodeText(base + "/tt:Media/tt:XAddr"));
    capabilities.ptzPath = XAddrToPath(parser.GetNodeText(base + "/tt:PTZ/tt:XAddr"));
    capabilities.eventsPath = XAddrToPath(parser.GetNodeText(base + "/tt:Events/tt:XAddr"));
    std::string pullPoint = parser.GetNodeText(base + "/tt:Events/tt:WSPullPointSupport");
    std::transform(pullPoint.begin(), pullPoint.end(), pullPoint.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    capabilities.pullPointSupport = pullPoint == "true";
    capabilities.inputConnectors = Onvif::ParseUInt32(parser.GetNodeText(base + "/tt:Device/tt:IO/tt:InputConnectors"));
    capabilities.relayOutputs = Onvif::ParseUInt32(parser.GetNodeText(base + "/tt:Device/tt:IO/tt:RelayOutputs"));

    paths.devicePath = capabilities.devicePath;
    paths.mediaPath = capabilities.mediaPath;
    paths.eventsPath = capabilities.eventsPath;
    paths.ptzPath = capabilities.ptzPath;
    return !capabilities.devicePath.empty() && !capabilities.mediaPath.empty();
}

bool COnvifClient::GetDeviceInformation(DeviceInformation& information)
{
    SoapRequest request(paths.devicePath);
    request.body = MakeElement("GetDeviceInformation", "", "tds");
    std::string answer;
    return Exchange(request, answer) && ReadDeviceInformation(answer, information);
}

bool COnvifClient::ReadDeviceInformation(const std::string& answer, DeviceInformation& information)
{
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    const std::string base = kBody + "tds:GetDeviceInformationResponse";
    information.manufacturer = parser.GetNodeText(base + "/tds:Manufacturer");
    information.model = parser.GetNodeText(base + "/tds:Model");
    information.firmwareVersion = parser.GetNodeText(base + "/tds:FirmwareVersion");
    information.serialNumber = parser.GetNodeText(base + "/tds:SerialNumber");
    information.hardwareId = parser.GetNodeText(base + "/tds:HardwareId");
    return true;
}

bool COnvifClient::GetProfiles(std::vector<Onvif::MediaProfile>& profiles)
{
    profiles.clear();
    if (paths.mediaPath.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("trt:GetProfiles", "", "trt", "tt");
    std::string answer;
    return Exchange(request, answer) && ReadProfiles(answer, profiles);
}

bool COnvifClient::ReadProfiles(const std::string& answer, std::vector<Onvif::MediaProfile>& profiles)
{
    return ReadList(answer, kBody + "trt:GetProfilesResponse/trt:Profiles", profiles);
}

bool COnvifClient::GetVideoSourceConfigurations(std::vector<Onvif::VideoSourceConfiguration>& configurations)
{
    configurations.clear();
    if (paths.mediaPath.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("GetVideoSourceConfigurations", "", "trt");
    std::string answer;
    return Exchange(request, answer) && ReadVideoSourceConfigurations(answer, configurations);
}

bool COnvifClient::ReadVideoSourceConfigurations(const std::string& answer,
                                                 std::vector<Onvif::VideoSourceConfiguration>& configurations)
{
    return ReadList(answer, kBody + "trt:GetVideoSourceConfigurationsResponse/trt:Configurations", configurations);
}

bool COnvifClient::GetVideoEncoderConfigurations(std::vector<Onvif::VideoEncoderConfiguration>& configurations)
{
    configurations.clear();
    if (paths.mediaPath.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("GetVideoEncoderConfigurations", "", "trt");
    std::string answer;
    return Exchange(request, answer) && ReadVideoEncoderConfigurations(answer, configurations);
}

bool COnvifClient::ReadVideoEncoderConfigurations(const std::string& answer,
                                                  std::vector<Onvif::VideoEncoderConfiguration>& configurations)
{
    return ReadList(answer, kBody + "trt:GetVideoEncoderConfigurationsResponse/trt:Configurations", configurations);
}

bool COnvifClient::GetVideoEncoderConfiguration(const std::string& configurationToken,
                                                Onvif::VideoEncoderConfiguration& configuration)
{
    if (paths.mediaPath.empty() || configurationToken.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("GetVideoEncoderConfiguration",
                               MakeElement("ConfigurationToken", XmlEscape(configurationToken)), "trt");
    std::string answer;
    return Exchange(request, answer) && ReadVideoEncoderConfiguration(answer, configuration);
}

bool COnvifClient::ReadVideoEncoderConfiguration(const std::string& answer,
                                                 Onvif::VideoEncoderConfiguration& configuration)
{
    namespaces.ParseDeclarations(answer);
    return configuration.LoadFromText(answer, kBody + "trt:GetVideoEncoderConfigurationResponse/trt:Configuration");
}

bool COnvifClient::GetVideoEncoderConfigurationOptions(const std::string& configurationToken, EncoderOptions& options)
{
    options = EncoderOptions();
    if (paths.mediaPath.empty() || configurationToken.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("GetVideoEncoderConfigurationOptions",
                               MakeElement("ConfigurationToken", XmlEscape(configurationToken)), "trt");
    std::string answer;
    return Exchange(request, answer) && ReadEncoderOptions(answer, configurationToken, options);
}

bool COnvifClient::ReadEncoderOptions(const std::string& answer, const std::string& configurationToken,
                                      EncoderOptions& options)
{
    options = EncoderOptions();
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    const std::string base = kBody + "trt:GetVideoEncoderConfigurationOptionsResponse/trt:Options";
    options.qualityMin = Onvif::ParseUInt32(parser.GetNodeText(base + "/tt:QualityRange/tt:Min"));
    options.qualityMax = Onvif::ParseUInt32(parser.GetNodeText(base + "/tt:QualityRange/tt:Max"));

    struct CodecSection {
        uint32_t codec;
        const char* path;
        const char* profiles;  // null: the codec has no profile list
        bool hasGovLength;
    };
    static const CodecSection kSections[] = {
        {OnvifCodecJpeg, "/tt:JPEG", nullptr, false},
        {OnvifCodecMpeg4, "/tt:MPEG4", "/tt:Mpeg4ProfilesSupported", true},
        {OnvifCodecH264, "/tt:H264", "/tt:H264ProfilesSupported", true},
    };
    for (const CodecSection& section : kSections) {
        const std::string c = base + section.path;
        if (!parser.NodeExists(c))
            continue;
        CodecOptions codec;
        codec.configurationToken = configurationToken;
        codec.codec = section.codec;
        codec.encodingIntervalMin = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:EncodingIntervalRange/tt:Min"));
        codec.encodingIntervalMax = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:EncodingIntervalRange/tt:Max"));
        codec.frameRateMin = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:FrameRateRange/tt:Min"));
        codec.frameRateMax = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:FrameRateRange/tt:Max"));
        if (section.hasGovLength) {
            codec.govLengthMin = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:GovLengthRange/tt:Min"));
            codec.govLengthMax = Onvif::ParseUInt32(parser.GetNodeText(c + "/tt:GovLengthRange/tt:Max"));
        }
        if (section.profiles != nullptr)
            codec.profiles = parser.GetNodeTexts(c + section.profiles);

        const std::vector<std::string> widthTexts = parser.GetNodeTexts(c + "/tt:ResolutionsAvailable/tt:Width");
        std::set<std::string> widths(widthTexts.begin(), widthTexts.end());
        if (widths.size() > kMaxListRecords)
            widths.erase(std::next(widths.begin(), kMaxListRecords), widths.end());
        for (const std::string& width : widths) {
            const std::vector<std::string> heights =
                parser.GetNodeTexts(c + "/tt:ResolutionsAvailable[tt:Width=" + XPathLiteral(width) + "]/tt:Height");
            for (const std::string& height : heights) {
                Resolution resolution{Onvif::ParseUInt16(width), Onvif::ParseUInt16(height)};
                if (resolution.width != 0 && resolution.height != 0)
                    codec.resolutions.insert(resolution);
            }
        }

        const std::string extension = base + "/tt:Extension" + section.path;
        if (parser.NodeExists(extension)) {
            codec.bitrateMin = Onvif::ParseUInt32(parser.GetNodeText(extension + "/tt:BitrateRange/tt:Min"));
            codec.bitrateMax = Onvif::ParseUInt32(parser.GetNodeText(extension + "/tt:BitrateRange/tt:Max"));
        }
        if (!codec.resolutions.empty())
            options.codecs.push_back(std::move(codec));
    }
    return true;
}

bool COnvifClient::SetVideoEncoderConfiguration(const Onvif::VideoEncoderConfiguration& configuration)
{
    if (paths.mediaPath.empty())
        return false;
    return MediaExchange(MakeElement("SetVideoEncoderConfiguration",
                                     configuration.ToXml() + "<ForcePersistence>true</ForcePersistence>", "trt", "tt"));
}

bool COnvifClient::GetCompatibleVideoEncoderConfigurations(
    const std::string& profileToken, std::vector<Onvif::VideoEncoderConfiguration>& configurations)
{
    configurations.clear();
    if (paths.mediaPath.empty() || profileToken.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("trt:GetCompatibleVideoEncoderConfigurations",
                               MakeElement("trt:ProfileToken", XmlEscape(profileToken)), "trt");
    std::string answer;
    return Exchange(request, answer) && ReadCompatibleVideoEncoderConfigurations(answer, configurations);
}

bool COnvifClient::ReadCompatibleVideoEncoderConfigurations(
    const std::string& answer, std::vector<Onvif::VideoEncoderConfiguration>& configurations)
{
    return ReadList(answer, kBody + "trt:GetCompatibleVideoEncoderConfigurationsResponse/trt:Configurations",
                    configurations);
}

bool COnvifClient::CreateProfile(const std::string& profileName, std::string& profileToken)
{
    profileToken.clear();
    if (paths.mediaPath.empty() || profileName.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    request.body = MakeElement("CreateProfile", MakeElement("Name", XmlEscape(profileName)), "trt");
    std::string answer;
    return Exchange(request, answer) && ReadCreatedProfileToken(answer, profileToken);
}

bool COnvifClient::ReadCreatedProfileToken(const std::string& answer, std::string& profileToken)
{
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    profileToken = parser.GetAttribute("token", kBody + "trt:CreateProfileResponse/trt:Profile");
    return !profileToken.empty();
}

bool COnvifClient::AddVideoSourceConfiguration(const std::string& profileToken, const std::string& configurationToken)
{
    if (paths.mediaPath.empty() || profileToken.empty() || configurationToken.empty())
        return false;
    return MediaExchange(MakeElement("AddVideoSourceConfiguration",
                                     MakeElement("ProfileToken", XmlEscape(profileToken)) +
                                         MakeElement("ConfigurationToken", XmlEscape(configurationToken)),
                                     "trt"));
}

bool COnvifClient::AddVideoEncoderConfiguration(const std::string& profileToken, const std::string& configurationToken)
{
    if (paths.mediaPath.empty() || profileToken.empty() || configurationToken.empty())
        return false;
    return MediaExchange(MakeElement("AddVideoEncoderConfiguration",
                                     MakeElement("ProfileToken", XmlEscape(profileToken)) +
                                         MakeElement("ConfigurationToken", XmlEscape(configurationToken)),
                                     "trt"));
}

bool COnvifClient::RemoveVideoSourceConfiguration(const std::string& profileToken)
{
    if (paths.mediaPath.empty() || profileToken.empty())
        return false;
    return MediaExchange(MakeElement("trt:RemoveVideoSourceConfiguration",
                                     MakeElement("trt:ProfileToken", XmlEscape(profileToken)), "trt", "tt"));
}

bool COnvifClient::RemoveVideoEncoderConfiguration(const std::string& profileToken)
{
    if (paths.mediaPath.empty() || profileToken.empty())
        return false;
    return MediaExchange(MakeElement("trt:RemoveVideoEncoderConfiguration",
                                     MakeElement("trt:ProfileToken", XmlEscape(profileToken)), "trt", "tt"));
}

bool COnvifClient::DeleteProfile(const std::string& profileToken)
{
    if (paths.mediaPath.empty() || profileToken.empty())
        return false;
    return MediaExchange(MakeElement("DeleteProfile", MakeElement("ProfileToken", XmlEscape(profileToken)), "trt"));
}

bool COnvifClient::GetStreamUri(const StreamUriRequest& streamRequest, MediaUri& uri)
{
    if (paths.mediaPath.empty())
        return false;
    SoapRequest request(paths.mediaPath);
    const std::string stream = MakeElement("Stream", XmlEscape(streamRequest.streamType), "tt");
    const std::string transport =
        MakeElement("Transport", MakeElement("Protocol", XmlEscape(streamRequest.protocol)), "tt");
    const std::string setup = MakeElement("StreamSetup", stream + transport);
    const std::string token = MakeElement("ProfileToken", XmlEscape(streamRequest.profileToken));
    request.body = MakeElement("GetStreamUri", setup + token, "trt");
    std::string answer;
    return Exchange(request, answer) && ReadStreamUri(answer, uri);
}

bool COnvifClient::ReadStreamUri(const std::string& answer, MediaUri& uri)
{
    CXmlParser parser;
    if (!LoadAnswer(parser, answer))
        return false;
    const std::string base = kBody + "trt:GetStreamUriResponse/trt:MediaUri";
    uri.uri = parser.GetNodeText(base + "/tt:Uri");
    uri.timeout = parser.GetNodeText(base + "/tt:Timeout");
    return true;
}

}  // namespace velkora
