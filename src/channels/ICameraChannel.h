#pragma once
// A camera channel: one stream of one device channel, from camera
// configuration to frame delivery. Destroyed through its virtual destructor,
// which stops it.

#include <cstdint>

#include <velkora/hostframes.h>
#include <velkora/records.h>

namespace velkora {

// Channel states as GetChannelState reports them; other values read as failed.
enum ChannelState : uint32_t
{
    ChannelStreaming = 0,
    ChannelStreamLost = 2,
    ChannelStopped = 3,
};

class IEdgeMonitorChannel
{
public:
    virtual ~IEdgeMonitorChannel() = default;                             // slot 0
    virtual uint32_t GetChannelIndex() = 0;                               // slot 1
    virtual ipcapture::IHostChannelSink* GetSink() = 0;                   // slot 2
    virtual void SetListener(ipcapture::IChannelListener* listener) = 0;  // slot 3
};

class ICameraChannel : public IEdgeMonitorChannel
{
public:
    virtual void SetStreamOption(uint32_t option) = 0;   // slot 4
    virtual bool Start(const StreamParams& params) = 0;  // slot 5
    virtual void Stop() = 0;                             // slot 6
    // Keeps the quality of the previous start.
    virtual bool Restart(const StreamParams& params) = 0;  // slot 7
    virtual bool QueryCapability1() = 0;                   // slot 8
    virtual bool QueryCapability2() = 0;                   // slot 9
    virtual uint32_t GetChannelState() = 0;                // slot 10
};

}  // namespace velkora
