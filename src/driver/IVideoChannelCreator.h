#pragma once
// How the video capture object obtains channels from the driver.

#include <cstdint>

#include <velkora/hostframes.h>

#include "channels/ICameraChannel.h"

namespace velkora {

// Secondary per-channel object the host may ask for (this device family
// makes none). It shares the first slots of a channel.
class ISecondaryChannel : public IEdgeMonitorChannel
{
public:
    virtual bool Start() = 0;  // slot 4
    virtual void Stop() = 0;   // slot 5
};

// Watches channels for edge storage (this device family makes none).
class IEdgeMonitor
{
public:
    virtual ~IEdgeMonitor() = default;                          // slot 0
    virtual void Register(IEdgeMonitorChannel* channel) = 0;    // slot 1
    virtual void Unregister(IEdgeMonitorChannel* channel) = 0;  // slot 2
};

class IVideoChannelCreator
{
public:
    virtual ~IVideoChannelCreator() = default;  // slot 0
    // codec 0 or 16 means the device's codec. The caller owns the channel.
    virtual ICameraChannel* CreateVideoChannel(uint32_t channel, ipcapture::IHostChannelSink* sink,
                                               uint32_t codec) = 0;  // slot 1
    virtual ISecondaryChannel* CreateSecondaryChannel(uint32_t channel,
                                                      ipcapture::IHostChannelSink* sink) = 0;  // slot 2
    virtual IEdgeMonitor* CreateEdgeMonitor() = 0;                                             // slot 3
};

}  // namespace velkora
