#include "capability/CBaseCameraProperties.h"

#include <cstdio>

#include "capability/CapabilityStoreKeys.h"
#include "foundation/ModuleInfo.h"

namespace velkora {

using ipcapture::IHostCapabilityStore;
using ipcapture::IHostFramerateList;

namespace {

constexpr uint32_t HighRateTag = 0x70000000;

std::string Format(const char* format, unsigned a, unsigned b)
{
    char text[32];
    std::snprintf(text, sizeof(text), format, a, b);
    return text;
}

std::string Format(const char* format, unsigned a, unsigned b, unsigned c)
{
    char text[48];
    std::snprintf(text, sizeof(text), format, a, b, c);
    return text;
}

bool SetConnectionField(IHostCapabilityStore* store, uint32_t index, const std::string& text)
{
    ipcapture::IHostTextField* field = store->GetConnectionField(index);
    if (field == nullptr)
        return false;
    field->SetText(text.c_str());
    return true;
}

}  // namespace

CBaseCameraProperties::CBaseCameraProperties(const DEVICE_INFO& device, uint32_t standard)
    : deviceInfo(device), videoStandard(standard)
{
    ModuleVersion version;
    const bool known = GetHostCoreVersion(version);
    ApplyHostVersion(known, version.major, version.minor);
}

void CBaseCameraProperties::ApplyHostVersion(bool known, uint16_t major, uint16_t minor)
{
    const ModuleVersion version{major, minor, 0, 0};
    auto atLeast = [&](uint16_t wantMajor, uint16_t wantMinor) {
        return known && IsVersionAtLeast(version, wantMajor, wantMinor);
    };
    highRateCodes = atLeast(6, 4);
    streamProperties = atLeast(6, 1);
}

bool CBaseCameraProperties::IsAborted() const
{
    return abortEvent.IsSet();
}

uint32_t CBaseCameraProperties::FrameValue(uint32_t rate) const
{
    if (rate == 0)
        return 1000;
    if (rate < 31 || !highRateCodes)
        return (2000 + rate) / (2 * rate);  // 1000 / rate, halves rounded up
    return rate | HighRateTag;
}

std::string CBaseCameraProperties::CodecText(const StreamCaps& caps) const
{
    std::string text;
    for (uint32_t codec : caps.codecs) {
        const char* name = codec == CapsCodecH264    ? "h264"
                           : codec == CapsCodecMpeg4 ? "mpeg"
                           : codec == CapsCodecJpeg  ? "jpeg"
                                                     : nullptr;
        if (name == nullptr)
            continue;
        if (!text.empty())
            text += ',';
        text += name;
    }
    return text;
}

std::string CBaseCameraProperties::ResolutionText(const StreamCaps& caps) const
{
    std::string text;
    for (const auto& [size, rate] : caps.resolutions) {
        if (size.first == 0 || size.second == 0)
            continue;
        uint32_t value = 40;
        if (rate != 0)
            value = FrameValue(rate);
        else if (!caps.framerates.empty())
            value = FrameValue(*caps.framerates.rbegin());
        if (!text.empty())
            text += ',';
        text += Format("%ux%u:%u", size.first, size.second, value);
    }
    return text;
}

uint32_t CBaseCameraProperties::DefaultRate(const StreamCaps& caps)
{
    if (caps.framerates.empty())
        return caps.defaultFramerate;
    uint32_t wanted = caps.defaultFramerate != 0 ? caps.defaultFramerate : *caps.framerates.rbegin() / 2;
    auto at = caps.framerates.lower_bound(wanted);
    if (at != caps.framerates.end() && *at != 0)
        return *at;
    return wanted;
}

std::string CBaseCameraProperties::FramerateText(const StreamCaps& caps) const
{
    if (caps.framerates.empty())
        return {};
    std::string values;
    for (uint32_t rate : caps.framerates) {
        if (rate == 0)
            continue;
        if (!values.empty())
            values += ',';
        values += std::to_string(FrameValue(rate));
    }
    return "values=" + values + ";default=" + std::to_string(FrameValue(DefaultRate(caps)));
}

bool CBaseCameraProperties::WriteFramerates(IHostFramerateList* list)
{
    const StreamCaps& caps = streams[0];
    if (list == nullptr || caps.framerates.empty())
        return false;
    for (uint32_t rate : caps.framerates)
        if (rate != 0)
            list->Add(FrameValue(rate));
    uint32_t defaultRate = DefaultRate(caps);
    if (defaultRate != 0)
        list->SetDefault(FrameValue(defaultRate));
    return true;
}

bool CBaseCameraProperties::AddTextProperty(IHostCapabilityStore* store, int32_t number, const std::string& name,
                                            const std::string& value)
{
    if (store == nullptr || number <= 0 || name.empty())
        return true;
    ipcapture::IHostCapabilityProperty* property = store->CreateProperty(number);
    if (property == nullptr)
        return false;
    property->SetName(name.c_str());
    property->SetFlag(0);
    property->SetType(1);
    property->SetValue(value.empty() ? "(none)" : value.c_str());
    return true;
}

void CBaseCameraProperties::WriteStreamTexts(IHostCapabilityStore* store, int32_t firstNumber, const char* prefix,
                                             const StreamCaps& caps) const
{
    const std::string name = prefix;
    AddTextProperty(store, firstNumber, name + ": Supported Codecs", CodecText(caps));
    AddTextProperty(store, firstNumber + 1, name + ": Supported Resolutions", ResolutionText(caps));
    AddTextProperty(store, firstNumber + 2, name + ": Supported Framerates", FramerateText(caps));
}

bool CBaseCameraProperties::SaveResults(IHostCapabilityStore* store)
{
    if (store == nullptr || model.empty())
        return false;
    const std::string name = manufacturer.empty() ? model : manufacturer + " " + model;
    store->SetName(name.c_str());

    if (!SetConnectionField(store, 1, deviceInfo.host) ||
        !SetConnectionField(store, 2, std::to_string(deviceInfo.port)) ||
        !SetConnectionField(store, 3, deviceInfo.user) || !SetConnectionField(store, 4, deviceInfo.password))
        return false;

    const StreamCaps& main = streams[0];
    bool codecKey = false;
    for (uint32_t codec : main.codecs) {
        const uint32_t key = codec == CapsCodecH264    ? CapsKeyH264
                             : codec == CapsCodecMpeg4 ? CapsKeyMpeg4
                             : codec == CapsCodecJpeg  ? CapsKeyJpeg
                                                       : CapsKeyStreamLayout;
        if (key != CapsKeyStreamLayout) {
            store->SetValue(key, 1);
            codecKey = true;
        }
    }
    if (!codecKey)
        return false;
    const uint32_t layout = uint32_t(streamCount) * 65536 + videoSourceCount;
    if (layout == 0)
        return false;
    store->SetValue(CapsKeyStreamLayout, layout);

    ipcapture::IHostResolutionList* resolutions = store->GetResolutionList();
    if (resolutions == nullptr || main.resolutions.empty())
        return false;
    for (const auto& [size, rate] : main.resolutions) {
        uint32_t value = videoStandard == 1 ? 33 : 40;
        if (rate != 0)
            value = FrameValue(rate);
        else if (!main.framerates.empty())
            value = FrameValue(*main.framerates.rbegin());
        const std::string text = Format("%ux%u", size.first, size.second);
        resolutions->Add(text.c_str(), size.first, size.second, value);
    }

    if (!WriteFramerates(store->GetFramerateList(1)))
        return false;

    if (ptzSupported)
        store->SetValue(CapsKeyPtz, 1);
    store->SetValue(CapsKeyFlag11, 0);
    store->SetValue(CapsKeyFlag12, 0);
    if (streamCount > 1 && streamProperties) {
        store->SetValue(CapsKeyExtraStreams, streamCount - 1u);
        WriteStreamTexts(store, CapsPropertyLiveStream, "Live Stream", streams[1]);
        if (streamCount > 2)
            WriteStreamTexts(store, CapsPropertyRemoteStream, "Remote Stream", streams[2]);
    }
    if (audioInput.count != 0) {
        store->SetValue(CapsKeyAudioInputs, audioInput.count);
        AddTextProperty(store, CapsPropertyAudioInput, "Audio Input Parameters", audioInput.ToString());
    }
    if (audioOutput.count != 0)
        AddTextProperty(store, CapsPropertyAudioOutput, "Audio Output Parameters", audioOutput.ToString());

    return WriteDeviceParameters(store);
}

}  // namespace velkora
