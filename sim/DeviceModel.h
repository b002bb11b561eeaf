#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

struct VideoSourceConfiguration {
    std::string token, name, sourceToken;
    unsigned width = 0, height = 0;
};

struct VideoEncoderConfiguration {
    std::string token, name;
    unsigned source = 0;  // index of the video source it belongs to
    unsigned stream = 0;  // index among the encoders of that source
    std::string encoding = "H264";
    unsigned width = 0, height = 0;
    float quality = 5;
    unsigned frameRateLimit = 25, encodingInterval = 1, bitrateLimit = 2048, govLength = 25;
    std::string h264Profile = "Main";
    std::string multicastAddress = "0.0.0.0";
    unsigned multicastPort = 0, multicastTtl = 1;
    bool autoStart = false;
    std::string sessionTimeout = "PT60S";

    // Frames per second the stream of this configuration carries.
    double StreamFrameRate() const;
};

// What an encoder configuration accepts; answered by GetVideoEncoderConfigurationOptions.
struct EncoderOptions {
    unsigned qualityMin = 1, qualityMax = 10;
    std::vector<std::pair<unsigned, unsigned>> resolutions;
    unsigned frameRateMin = 1, frameRateMax = 30;
    unsigned intervalMin = 1, intervalMax = 1;
    unsigned govMin = 1, govMax = 150;
    unsigned bitrateMin = 64, bitrateMax = 8192;
    std::vector<std::string> profiles{"Baseline", "Main", "High"};
};

struct MediaProfile {
    std::string token, name;
    bool fixed = false;
    std::string sourceConfiguration;   // token or empty
    std::string encoderConfiguration;  // token or empty
};

// An ONVIF failure: SOAP code ("Sender"/"Receiver"), ONVIF subcodes and reason.
struct OnvifError {
    std::string code, subcode, subsubcode, reason;
};

// The camera's media configuration. Everything the ONVIF service writes lives
// here for the life of the process, so later answers reflect earlier changes.
class DeviceModel
{
public:
    // `channels` video sources with `encoders` encoder configurations each;
    // `resolutions` are the sizes the encoders offer (those of the clips).
    DeviceModel(unsigned channels, unsigned encoders, std::vector<std::pair<unsigned, unsigned>> resolutions);

    std::vector<VideoSourceConfiguration> SourceConfigurations() const;
    std::vector<VideoEncoderConfiguration> EncoderConfigurations() const;
    std::vector<MediaProfile> Profiles() const;
    std::optional<VideoSourceConfiguration> SourceConfiguration(const std::string& token) const;
    std::optional<VideoEncoderConfiguration> EncoderConfiguration(const std::string& token) const;
    std::optional<MediaProfile> Profile(const std::string& token) const;
    unsigned UseCountOfSource(const std::string& token) const;
    unsigned UseCountOfEncoder(const std::string& token) const;
    EncoderOptions OptionsFor(const VideoEncoderConfiguration& encoder) const;
    // Encoder configurations usable with a profile: those of its video source, or all.
    std::optional<std::vector<VideoEncoderConfiguration>> CompatibleEncoders(const std::string& profile,
                                                                             OnvifError& error) const;

    std::optional<std::string> CreateProfile(const std::string& name, const std::string& token, OnvifError& error);
    bool DeleteProfile(const std::string& token, OnvifError& error);
    bool AddSource(const std::string& profile, const std::string& configuration, OnvifError& error);
    bool AddEncoder(const std::string& profile, const std::string& configuration, OnvifError& error);
    bool RemoveSource(const std::string& profile, OnvifError& error);
    bool RemoveEncoder(const std::string& profile, OnvifError& error);
    bool SetEncoder(const VideoEncoderConfiguration& wanted, OnvifError& error);
    // The encoder configuration a stream of this profile uses (error when incomplete).
    std::optional<VideoEncoderConfiguration> StreamEncoder(const std::string& profile, OnvifError& error) const;

    static constexpr std::size_t kMaxProfiles = 32;

private:
    MediaProfile* FindProfile(const std::string& token);

    mutable std::mutex mutex_;
    std::vector<std::pair<unsigned, unsigned>> resolutions_;
    std::vector<VideoSourceConfiguration> sources_;
    std::vector<VideoEncoderConfiguration> encoders_;
    std::vector<MediaProfile> profiles_;
    unsigned nextProfile_ = 1;
};

}  // namespace sim
