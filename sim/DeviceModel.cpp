#include "sim/DeviceModel.h"

#include <algorithm>

namespace sim {

namespace {

OnvifError InvalidArg(const char* subsub, const std::string& reason)
{
    return {"Sender", "ter:InvalidArgVal", subsub, reason};
}

// Defaults per stream index: main stream, sub stream, small stream, full HD.
const std::pair<unsigned, unsigned> kPreferred[] = {{1280, 720}, {640, 480}, {320, 240}, {1920, 1080}};

}  // namespace

double VideoEncoderConfiguration::StreamFrameRate() const
{
    const double rate = static_cast<double>(frameRateLimit) / std::max(1u, encodingInterval);
    return std::clamp(rate, 1.0, 60.0);
}

DeviceModel::DeviceModel(unsigned channels, unsigned encoders, std::vector<std::pair<unsigned, unsigned>> resolutions)
    : resolutions_(std::move(resolutions))
{
    std::sort(resolutions_.begin(), resolutions_.end());
    if (resolutions_.empty())
        resolutions_.push_back({640, 480});
    const auto largest = resolutions_.back();
    for (unsigned i = 0; i < channels; ++i) {
        const std::string n = std::to_string(i + 1);
        sources_.push_back(
            {"VideoSourceConfig_" + n, "VideoSourceConfig_" + n, "VideoSource_" + n, largest.first, largest.second});
        for (unsigned k = 0; k < encoders; ++k) {
            VideoEncoderConfiguration e;
            e.token = e.name = "VideoEncoderConfig_" + n + "_" + std::to_string(k + 1);
            e.source = i;
            e.stream = k;
            auto wanted = kPreferred[k % std::size(kPreferred)];
            e.width = resolutions_.front().first;
            e.height = resolutions_.front().second;
            if (std::find(resolutions_.begin(), resolutions_.end(), wanted) != resolutions_.end()) {
                e.width = wanted.first;
                e.height = wanted.second;
            }
            e.bitrateLimit = std::max(256u, e.width * e.height / 450);
            encoders_.push_back(e);
            profiles_.push_back({"Profile_" + n + "_" + std::to_string(k + 1),
                                 "Profile_" + n + "_" + std::to_string(k + 1), true, sources_.back().token, e.token});
        }
    }
}

std::vector<VideoSourceConfiguration> DeviceModel::SourceConfigurations() const
{
    std::lock_guard lock(mutex_);
    return sources_;
}

std::vector<VideoEncoderConfiguration> DeviceModel::EncoderConfigurations() const
{
    std::lock_guard lock(mutex_);
    return encoders_;
}

std::vector<MediaProfile> DeviceModel::Profiles() const
{
    std::lock_guard lock(mutex_);
    return profiles_;
}

std::optional<VideoSourceConfiguration> DeviceModel::SourceConfiguration(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    for (const auto& s : sources_)
        if (s.token == token)
            return s;
    return std::nullopt;
}

std::optional<VideoEncoderConfiguration> DeviceModel::EncoderConfiguration(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    for (const auto& e : encoders_)
        if (e.token == token)
            return e;
    return std::nullopt;
}

std::optional<MediaProfile> DeviceModel::Profile(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    for (const auto& p : profiles_)
        if (p.token == token)
            return p;
    return std::nullopt;
}

unsigned DeviceModel::UseCountOfSource(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(std::count_if(profiles_.begin(), profiles_.end(),
                                               [&](const MediaProfile& p) { return p.sourceConfiguration == token; }));
}

unsigned DeviceModel::UseCountOfEncoder(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(std::count_if(profiles_.begin(), profiles_.end(),
                                               [&](const MediaProfile& p) { return p.encoderConfiguration == token; }));
}

EncoderOptions DeviceModel::OptionsFor(const VideoEncoderConfiguration& encoder) const
{
    EncoderOptions o;
    o.resolutions = resolutions_;
    // Odd streams behave like a PAL sensor: a fixed 25 fps thinned by an encoding interval.
    if (encoder.stream % 2 == 1) {
        o.frameRateMin = o.frameRateMax = 25;
        o.intervalMin = 1;
        o.intervalMax = 5;
    }
    return o;
}

std::optional<std::vector<VideoEncoderConfiguration>> DeviceModel::CompatibleEncoders(const std::string& profile,
                                                                                      OnvifError& error) const
{
    std::lock_guard lock(mutex_);
    auto p =
        std::find_if(profiles_.begin(), profiles_.end(), [&](const MediaProfile& m) { return m.token == profile; });
    if (p == profiles_.end()) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return std::nullopt;
    }
    std::vector<VideoEncoderConfiguration> out;
    for (const auto& e : encoders_) {
        const bool sameSource = !p->sourceConfiguration.empty() && sources_[e.source].token == p->sourceConfiguration;
        if (p->sourceConfiguration.empty() || sameSource)
            out.push_back(e);
    }
    return out;
}

MediaProfile* DeviceModel::FindProfile(const std::string& token)
{
    for (auto& p : profiles_)
        if (p.token == token)
            return &p;
    return nullptr;
}

std::optional<std::string> DeviceModel::CreateProfile(const std::string& name, const std::string& token,
                                                      OnvifError& error)
{
    std::lock_guard lock(mutex_);
    if (name.empty() || name.size() > 64) {
        error = InvalidArg("ter:InvalidArgVal", "The profile name is empty or longer than 64 characters");
        return std::nullopt;
    }
    if (profiles_.size() >= kMaxProfiles) {
        error = {"Receiver", "ter:Action", "ter:MaxNVTProfiles", "The maximum number of profiles has been reached"};
        return std::nullopt;
    }
    std::string t = token;
    if (t.empty()) {
        do
            t = "UserProfile_" + std::to_string(nextProfile_++);
        while (FindProfile(t));
    } else if (t.size() > 64 || FindProfile(t)) {
        error = InvalidArg("ter:ProfileExists", "A profile with this token already exists");
        return std::nullopt;
    }
    profiles_.push_back({t, name, false, "", ""});
    return t;
}

bool DeviceModel::DeleteProfile(const std::string& token, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(profiles_.begin(), profiles_.end(), [&](const MediaProfile& p) { return p.token == token; });
    if (it == profiles_.end()) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return false;
    }
    if (it->fixed) {
        error = {"Sender", "ter:Action", "ter:DeletionOfFixedProfile", "A fixed profile cannot be deleted"};
        return false;
    }
    profiles_.erase(it);
    return true;
}

bool DeviceModel::AddSource(const std::string& profile, const std::string& configuration, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    MediaProfile* p = FindProfile(profile);
    if (!p) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return false;
    }
    if (std::none_of(sources_.begin(), sources_.end(), [&](const auto& s) { return s.token == configuration; })) {
        error = InvalidArg("ter:NoConfig", "The requested configuration does not exist");
        return false;
    }
    p->sourceConfiguration = configuration;
    return true;
}

bool DeviceModel::AddEncoder(const std::string& profile, const std::string& configuration, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    MediaProfile* p = FindProfile(profile);
    if (!p) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return false;
    }
    if (std::none_of(encoders_.begin(), encoders_.end(), [&](const auto& e) { return e.token == configuration; })) {
        error = InvalidArg("ter:NoConfig", "The requested configuration does not exist");
        return false;
    }
    p->encoderConfiguration = configuration;
    return true;
}

bool DeviceModel::RemoveSource(const std::string& profile, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    MediaProfile* p = FindProfile(profile);
    if (!p) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return false;
    }
    p->sourceConfiguration.clear();
    return true;
}

bool DeviceModel::RemoveEncoder(const std::string& profile, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    MediaProfile* p = FindProfile(profile);
    if (!p) {
        error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
        return false;
    }
    p->encoderConfiguration.clear();
    return true;
}

bool DeviceModel::SetEncoder(const VideoEncoderConfiguration& wanted, OnvifError& error)
{
    std::lock_guard lock(mutex_);
    auto it = std::find_if(encoders_.begin(), encoders_.end(), [&](const auto& e) { return e.token == wanted.token; });
    if (it == encoders_.end()) {
        error = InvalidArg("ter:NoConfig", "The requested configuration does not exist");
        return false;
    }
    const EncoderOptions o = OptionsFor(*it);  // reads only what never changes
    auto refuse = [&](const std::string& why) {
        error = InvalidArg("ter:ConfigModify", why);
        return false;
    };
    if (wanted.encoding != "H264")
        return refuse("Only H264 encoding is supported");
    if (std::find(o.resolutions.begin(), o.resolutions.end(), std::make_pair(wanted.width, wanted.height)) ==
        o.resolutions.end())
        return refuse("Resolution " + std::to_string(wanted.width) + "x" + std::to_string(wanted.height) +
                      " is not supported");
    if (!(wanted.quality >= static_cast<float>(o.qualityMin) && wanted.quality <= static_cast<float>(o.qualityMax)))
        return refuse("Quality is out of range");
    if (wanted.frameRateLimit < o.frameRateMin || wanted.frameRateLimit > o.frameRateMax)
        return refuse("FrameRateLimit is out of range");
    if (wanted.encodingInterval < o.intervalMin || wanted.encodingInterval > o.intervalMax)
        return refuse("EncodingInterval is out of range");
    if (wanted.bitrateLimit < o.bitrateMin || wanted.bitrateLimit > o.bitrateMax)
        return refuse("BitrateLimit is out of range");
    if (wanted.govLength < o.govMin || wanted.govLength > o.govMax)
        return refuse("GovLength is out of range");
    if (std::find(o.profiles.begin(), o.profiles.end(), wanted.h264Profile) == o.profiles.end())
        return refuse("H264Profile is not supported");
    if (wanted.name.size() > 64)
        return refuse("Name is longer than 64 characters");

    const unsigned source = it->source, stream = it->stream;
    *it = wanted;
    it->source = source;
    it->stream = stream;
    if (it->name.empty())
        it->name = it->token;
    return true;
}

std::optional<VideoEncoderConfiguration> DeviceModel::StreamEncoder(const std::string& profile, OnvifError& error) const
{
    std::lock_guard lock(mutex_);
    for (const auto& p : profiles_) {
        if (p.token != profile)
            continue;
        if (p.sourceConfiguration.empty() || p.encoderConfiguration.empty()) {
            error = {"Receiver", "ter:Action", "ter:IncompleteConfiguration",
                     "The profile lacks a video source or video encoder configuration"};
            return std::nullopt;
        }
        for (const auto& e : encoders_)
            if (e.token == p.encoderConfiguration)
                return e;
    }
    error = InvalidArg("ter:NoProfile", "The requested profile token does not exist");
    return std::nullopt;
}

}  // namespace sim
