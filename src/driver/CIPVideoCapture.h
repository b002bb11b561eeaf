#pragma once
// The host's handle for opening and closing streams: per device channel up
// to four streams (by kind) and an optional secondary object.

#include <cstdint>
#include <memory>
#include <vector>

#include <velkora/capture.h>

#include "channels/ICameraChannel.h"
#include "driver/IVideoChannelCreator.h"
#include "foundation/CRecursiveLock.h"

namespace velkora {

struct ChannelSlot {
    std::unique_ptr<ICameraChannel> streams[StreamKindCount];
    std::unique_ptr<ISecondaryChannel> secondary;
};

// Holding the lock only to read or change slots, never while a channel
// starts or stops, keeps one channel's stop from blocking the others.
class CIPVideoCapture : public ipcapture::IIPVideoCaptureEx2
{
public:
    CIPVideoCapture(IVideoChannelCreator* creator, uint32_t channelCount);
    ~CIPVideoCapture() override;

    uint32_t GetChannelCount() override;
    bool OpenChannel(uint32_t channel, ipcapture::IHostChannelSink* sink,
                     ipcapture::IHostStreamSettings* settings) override;
    bool CloseChannel(uint32_t channel) override;
    bool ChangeChannel(uint32_t channel, ipcapture::IHostResolution* resolution, uint32_t frameRate) override;
    bool Reserved5() override { return false; }
    bool GetChannelState(uint32_t channel, uint32_t* state, uint32_t* errorCode, char* errorText,
                         uint32_t textSize) override;
    bool SetParameter(const char* name, const uint16_t* value, uint32_t size) override;
    bool GetParameter(const char* name, uint16_t* value, uint32_t size) override;
    bool QueryCapability1(uint32_t channel) override;
    bool QueryCapability2(uint32_t channel) override;
    bool OpenStream(uint32_t channel, uint32_t kind, ipcapture::IHostChannelSink* sink,
                    ipcapture::IHostStreamSettings* settings) override;
    bool CloseStream(uint32_t channel, uint32_t kind) override;

private:
    // The kind-0 channel of a slot, or null. The pointer stays valid while the
    // host does not close that channel concurrently.
    ICameraChannel* FindRecordingChannel(uint32_t channel);
    static bool ReadStreamParams(ipcapture::IHostStreamSettings* settings, StreamParams& params);

    IVideoChannelCreator* creator;
    CRecursiveLock channelsLock;
    std::vector<ChannelSlot> channels;
    bool edgeStorage = false;
    std::unique_ptr<IEdgeMonitor> edgeMonitor;
};

}  // namespace velkora
