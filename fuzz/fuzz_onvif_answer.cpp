// Any bytes as the answer of every reading ONVIF operation and as a SOAP fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "onvif/COnvifClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    velkora::DEVICE_INFO device;
    device.host = "camera";
    velkora::COnvifClient client(device);

    velkora::DeviceCapabilities capabilities;
    client.ReadCapabilities(answer, capabilities);
    velkora::DeviceInformation information;
    client.ReadDeviceInformation(answer, information);
    std::vector<Onvif::MediaProfile> profiles;
    client.ReadProfiles(answer, profiles);
    for (const Onvif::MediaProfile& profile : profiles)
        (void)profile.videoEncoderConfiguration.ToXml(), (void)profile.ptzConfiguration.ToXml();
    std::vector<Onvif::VideoSourceConfiguration> sources;
    client.ReadVideoSourceConfigurations(answer, sources);
    std::vector<Onvif::VideoEncoderConfiguration> encoders;
    client.ReadVideoEncoderConfigurations(answer, encoders);
    client.ReadCompatibleVideoEncoderConfigurations(answer, encoders);
    Onvif::VideoEncoderConfiguration encoder;
    client.ReadVideoEncoderConfiguration(answer, encoder);
    velkora::EncoderOptions options;
    client.ReadEncoderOptions(answer, "VEC1", options);
    for (const velkora::CodecOptions& codec : options.codecs)
        (void)codec.AvailableFrameRates();
    std::string token;
    client.ReadCreatedProfileToken(answer, token);
    velkora::MediaUri uri;
    client.ReadStreamUri(answer, uri);

    client.ParseFault(answer);
    const velkora::SoapFault fault = client.GetLastFault();
    (void)fault.GetErrorText(". ");
    (void)fault.FindAuthenticationFault();
    (void)client.GetCustomNamespaces();
    return 0;
}
