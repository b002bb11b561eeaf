#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "channels/CBaseRTSPChannel.h"
#include "channels/ChannelConfiguration.h"
#include "channels/MessageRepeatFilter.h"
#include "foundation/CRecursiveLock.h"
#include "onvif/COnvifClient.h"

namespace velkora {

// The class's name in message origins; it spans two source files, so the name lives
// here rather than as a file's kClassName (which a derived class would see instead of its own).
constexpr char kCommonRtspChannelClassName[] = "CCommonRtspChannel";

// The channel layer that prepares every stream start over ONVIF: it finds or makes a
// media profile binding the channel's video source and encoder configurations, adapts
// the encoder to the host's request, and fetches the stream address for RTSP.
class CCommonRtspChannel : public CBaseRTSPChannel
{
public:
    CCommonRtspChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CCommonRtspChannel() override;

    void SetStreamOption(uint32_t) override {}

    std::pair<uint16_t, uint16_t> GetChannelPair() override;
    const std::string& GetFrameSourceName() override;

    virtual std::string GetProfileToken();                                              // slot 20
    virtual std::string GetEncodingName() = 0;                                          // slot 21
    virtual std::string ChooseCodecProfile(const std::vector<std::string>& names) = 0;  // slot 22
    virtual std::string GetChannelConfiguration() = 0;                                  // slot 23

    // The encoder resolution for the request: the smallest offered one not smaller than it.
    std::pair<uint16_t, uint16_t> PickResolution();

    // Formats, and sends only when the text differs from the last message sent.
    void DebugMessage(int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

protected:
    void OnStopThread() override;
    bool PrepareStream() override;
    void FillSessionSettings(RTSPSessionSettings& settings) override;
    std::string LoginRefusal() override
    {
        return !onvifRefusal.empty() ? onvifRefusal : CBaseRTSPChannel::LoginRefusal();
    }

    bool GetCompatibleMediaProfile(const ChannelTargets& targets, std::string& encoderToken);
    bool CreateMediaProfile(const std::string& name, const std::string& sourceToken, const std::string& encoderToken);
    bool UpdateProfileConfigurations(const Onvif::MediaProfile& profile, const std::string& sourceToken,
                                     const std::string& encoderToken);
    bool AddVideoEncoderConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool RemoveVideoEncoderConfiguration(const Onvif::MediaProfile& profile);
    bool AddVideoSourceConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool RemoveVideoSourceConfiguration(const Onvif::MediaProfile& profile);
    bool ReceiveStreamURI(const std::string& profileToken);

    bool LoadVideoEncoderCapabilities(const std::string& encoderToken);
    bool ApplyVideoEncoderConfiguration(const std::string& encoderToken);

    void SelectProfile(const std::string& token);
    std::string LastError();

    uint32_t encodingKind = 3;
    COnvifClient onvif;
    uint16_t optionalFailures = 0;
    bool mappingWarned = false;
    CRecursiveLock capsLock;
    std::string capsEncoderToken;
    CodecOptions optionSet;
    uint32_t qualityMin = 0;
    uint32_t qualityMax = 0;
    CRecursiveLock uriLock;
    std::string streamUri;
    CRecursiveLock profileLock;
    std::string profileToken;
    CMessageRepeatFilter messages;
    std::string onvifRefusal;      // capture thread: how ONVIF refused the last preparation's login
    uint32_t frameSourceKind = 0;  // packet thread: the kind frameSourceName was built for
};

}  // namespace velkora
