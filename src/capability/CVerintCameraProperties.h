#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capability/CBaseCameraProperties.h"
#include "capability/CVideoSourceInfo.h"
#include "http/CHttpSender.h"
#include "onvif/COnvifClient.h"
#include "ptz/CPtzCapabilities.h"

namespace velkora {

// Discovery of this device family: PTZ probe over the CGI, then device
// information, capabilities and media over ONVIF. May create the media
// profiles ("Velkora_Profile<n>_<source configuration token>") that capture
// later finds through device parameter 9.
class CVerintCameraProperties : public CBaseCameraProperties
{
public:
    CVerintCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard, uint16_t ptzPort);
    ~CVerintCameraProperties() override = default;

    void Abort() override;
    bool WriteDeviceParameters(ipcapture::IHostCapabilityStore* store) override;
    bool Query(uint32_t* kind) override;
    std::string GetErrorText() const override { return errorText; }

    Web::CHttpSender probeSender;
    COnvifClient onvifClient;
    std::string errorText;
    CPtzCapabilities ptzCapabilities;
    std::string videoSourceConfig;

private:
    bool ProbePTZ(uint32_t* kind);
    bool ReadDeviceInformation();
    bool ReadCapabilities();
    bool ReadMedia();

    // Media steps, in order.
    bool ReadVideoSources();
    bool ReadProfiles();
    bool CountStreams();
    bool CollectSourceProfiles(const Onvif::VideoSourceConfiguration& source, CVideoSourceInfo& info);
    bool ReadCompatibleEncoders(const std::string& profile, CVideoSourceInfo& info);
    bool ReadEncoderOptions();
    bool FillStreams();

    // Creates one own profile bound to the source; empty when none was made.
    std::string CreateOwnProfile(const std::string& sourceToken);
    bool Aborted();
    void SetStepError(const std::string& request, const std::string& description);
    // Adds key=value unless either is empty or the key is already present.
    void AddSourceConfigItem(const std::string& key, const std::string& value);

    uint16_t ptzPort;
    std::vector<Onvif::VideoSourceConfiguration> sources;
    std::vector<Onvif::MediaProfile> profiles;
    std::set<std::string> ownProfileNames;
    std::map<std::string, CVideoSourceInfo> sourceInfos;   // by source configuration token
    std::map<std::string, EncoderOptions> encoderOptions;  // by encoder configuration token
};

}  // namespace velkora
