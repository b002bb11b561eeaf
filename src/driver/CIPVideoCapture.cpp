#include "driver/CIPVideoCapture.h"

#include <cstring>

namespace velkora {

CIPVideoCapture::CIPVideoCapture(IVideoChannelCreator* creator, uint32_t channelCount)
    : creator(creator), channels(channelCount)
{
}

CIPVideoCapture::~CIPVideoCapture()
{
    for (uint32_t channel = 0; channel < channels.size(); ++channel)
        CloseChannel(channel);
    edgeMonitor.reset();
}

uint32_t CIPVideoCapture::GetChannelCount()
{
    CAutoLock guard(channelsLock);
    return static_cast<uint32_t>(channels.size());
}

bool CIPVideoCapture::ReadStreamParams(ipcapture::IHostStreamSettings* settings, StreamParams& params)
{
    ipcapture::IHostRateSettings* rate = settings ? settings->GetRateSettings() : nullptr;
    ipcapture::IHostVideoFormat* format = settings ? settings->GetVideoFormat() : nullptr;
    ipcapture::IHostResolution* resolution = format ? format->GetResolution() : nullptr;
    if (!rate || !resolution)
        return false;
    params.frameRate = rate->GetFrameRate();
    params.quality = rate->GetQuality();
    params.width = resolution->GetWidth();
    params.height = resolution->GetHeight();
    params.codec = format->GetCodec();
    return true;
}

bool CIPVideoCapture::OpenChannel(uint32_t channel, ipcapture::IHostChannelSink* sink,
                                  ipcapture::IHostStreamSettings* settings)
{
    if (channel >= GetChannelCount())
        return false;
    CloseChannel(channel);
    {
        CAutoLock guard(channelsLock);
        if (edgeStorage && !edgeMonitor)
            edgeMonitor.reset(creator->CreateEdgeMonitor());
    }
    StreamParams params;
    if (!ReadStreamParams(settings, params))
        return false;
    params.kind = StreamKindRec;

    std::unique_ptr<ICameraChannel> camera(creator->CreateVideoChannel(channel, sink, params.codec));
    if (!camera)
        return false;
    camera->SetStreamOption(settings->GetStreamOption());
    bool result = camera->Start(params);
    std::unique_ptr<ISecondaryChannel> secondary;
    if (result && settings->GetRateSettings()->GetSecondaryWanted() != 0) {
        secondary.reset(creator->CreateSecondaryChannel(channel, sink));
        if (secondary)
            result = secondary->Start();
    }

    // Kept even after a failed start, so that the next close releases it.
    ChannelSlot displaced;
    {
        CAutoLock guard(channelsLock);
        ChannelSlot& slot = channels[channel];
        displaced.streams[StreamKindRec] = std::move(slot.streams[StreamKindRec]);
        displaced.secondary = std::move(slot.secondary);
        slot.streams[StreamKindRec] = std::move(camera);
        slot.secondary = std::move(secondary);
        if (edgeStorage && edgeMonitor) {
            edgeMonitor->Register(slot.streams[StreamKindRec].get());
            if (slot.secondary)
                edgeMonitor->Register(slot.secondary.get());
        }
    }
    // A concurrent open of the same channel lost the race: stop its objects
    // outside the lock.
    if (displaced.secondary)
        displaced.secondary->Stop();
    if (displaced.streams[StreamKindRec])
        displaced.streams[StreamKindRec]->Stop();
    return result;
}

bool CIPVideoCapture::OpenStream(uint32_t channel, uint32_t kind, ipcapture::IHostChannelSink* sink,
                                 ipcapture::IHostStreamSettings* settings)
{
    if (channel >= GetChannelCount() || kind >= StreamKindCount)
        return false;
    CloseStream(channel, kind);
    StreamParams params;
    if (!ReadStreamParams(settings, params))
        return false;
    params.kind = kind;

    std::unique_ptr<ICameraChannel> camera(creator->CreateVideoChannel(channel, sink, params.codec));
    if (!camera)
        return false;
    const bool result = camera->Start(params);
    std::unique_ptr<ICameraChannel> displaced;
    {
        CAutoLock guard(channelsLock);
        displaced = std::move(channels[channel].streams[kind]);
        channels[channel].streams[kind] = std::move(camera);
    }
    if (displaced)
        displaced->Stop();
    return result;
}

bool CIPVideoCapture::CloseChannel(uint32_t channel)
{
    ChannelSlot taken;
    IEdgeMonitor* monitor = nullptr;
    {
        CAutoLock guard(channelsLock);
        if (channel >= channels.size())
            return false;
        ChannelSlot& slot = channels[channel];
        for (uint32_t kind = 0; kind < StreamKindCount; ++kind)
            taken.streams[kind] = std::move(slot.streams[kind]);
        taken.secondary = std::move(slot.secondary);
        monitor = edgeMonitor.get();
    }
    bool any = taken.secondary != nullptr;
    if (monitor) {
        if (taken.secondary)
            monitor->Unregister(taken.secondary.get());
        if (taken.streams[StreamKindRec])
            monitor->Unregister(taken.streams[StreamKindRec].get());
    }
    if (taken.secondary) {
        taken.secondary->Stop();
        taken.secondary.reset();
    }
    for (auto& stream : taken.streams) {
        if (stream) {
            any = true;
            stream->Stop();
            stream.reset();
        }
    }
    return any;
}

bool CIPVideoCapture::CloseStream(uint32_t channel, uint32_t kind)
{
    std::unique_ptr<ICameraChannel> taken;
    {
        CAutoLock guard(channelsLock);
        if (channel >= channels.size() || kind >= StreamKindCount)
            return false;
        taken = std::move(channels[channel].streams[kind]);
    }
    if (!taken)
        return false;
    taken->Stop();
    return true;
}

ICameraChannel* CIPVideoCapture::FindRecordingChannel(uint32_t channel)
{
    CAutoLock guard(channelsLock);
    if (channel >= channels.size())
        return nullptr;
    return channels[channel].streams[StreamKindRec].get();
}

bool CIPVideoCapture::ChangeChannel(uint32_t channel, ipcapture::IHostResolution* resolution, uint32_t frameRate)
{
    ICameraChannel* camera = FindRecordingChannel(channel);
    if (!camera || !resolution)
        return false;
    StreamParams params;
    params.frameRate = frameRate;
    params.quality = 0;  // the channel keeps its quality
    params.width = resolution->GetWidth();
    params.height = resolution->GetHeight();
    params.codec = 0;
    params.kind = StreamKindRec;
    return camera->Restart(params);
}

bool CIPVideoCapture::GetChannelState(uint32_t channel, uint32_t* state, uint32_t* errorCode, char* errorText,
                                      uint32_t textSize)
{
    if (channel >= GetChannelCount())
        return false;
    if (errorCode)
        *errorCode = 0;
    if (textSize != 0 && errorText)
        errorText[0] = '\0';
    ICameraChannel* camera = FindRecordingChannel(channel);
    if (!camera)
        return false;
    const uint32_t current = camera->GetChannelState();
    if (state)
        *state = current;
    return true;
}

namespace {

bool IsEdgeStorageParameter(const char* name, const void* value, uint32_t size)
{
    return name && value && size == sizeof(uint16_t) && std::strcmp(name, "EdgeStorageState") == 0;
}

}  // namespace

bool CIPVideoCapture::SetParameter(const char* name, const uint16_t* value, uint32_t size)
{
    if (!IsEdgeStorageParameter(name, value, size))
        return false;
    CAutoLock guard(channelsLock);
    edgeStorage = static_cast<int16_t>(*value) > 0;
    return true;
}

bool CIPVideoCapture::GetParameter(const char* name, uint16_t* value, uint32_t size)
{
    if (!IsEdgeStorageParameter(name, value, size))
        return false;
    CAutoLock guard(channelsLock);
    *value = edgeStorage ? 1 : 0;
    return true;
}

// The host's first query is answered by the channel's second and vice versa.
bool CIPVideoCapture::QueryCapability1(uint32_t channel)
{
    ICameraChannel* camera = FindRecordingChannel(channel);
    return camera && camera->QueryCapability2();
}

bool CIPVideoCapture::QueryCapability2(uint32_t channel)
{
    ICameraChannel* camera = FindRecordingChannel(channel);
    return camera && camera->QueryCapability1();
}

}  // namespace velkora
