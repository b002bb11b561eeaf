#pragma once
// Frames: the host makes them, the library fills and delivers them.

#include <cstdint>

#include <velkora/records.h>

namespace velkora::ipcapture {

// A frame buffer of the host. The library fills it in this order: data,
// width, height, size class, data size, frame type, time.
class IHostFrame
{
public:
    virtual ~IHostFrame() = default;                    // slot 0
    virtual uint8_t* GetData() = 0;                     // slot 1: null when none
    virtual void SetWidth(uint16_t width) = 0;          // slot 2
    virtual void SetHeight(uint16_t height) = 0;        // slot 3
    virtual void SetSizeClass(uint32_t sizeClass) = 0;  // slot 4
    virtual void SetDataSize(uint32_t size) = 0;        // slot 5
    // Four-character code as a little-endian 32-bit value ("H264", "I264").
    virtual void SetFrameType(uint32_t type) = 0;      // slot 6
    virtual void GetTime(SYSTEMTIME* time) = 0;        // slot 7: the frame's UTC time
    virtual void SetTime(const SYSTEMTIME& time) = 0;  // slot 8
    virtual uint32_t GetCapacity() = 0;                // slot 9: bytes behind GetData
};

// The host context handed to the driver's Open.
class IHostFrameFactory
{
public:
    virtual ~IHostFrameFactory() = default;  // slot 0
    // May return null. sourceName names the stream (module name and suffix).
    virtual IHostFrame* CreateFrame(uint32_t frameType, uint32_t size, const char* sourceName) = 0;  // slot 1
    // Every created frame is released here, whether it was delivered or not.
    virtual void ReleaseFrame(IHostFrame* frame) = 0;  // slot 2
};

// The host's per-stream sink, passed unchanged to the channel.
class IHostChannelSink
{
public:
    virtual ~IHostChannelSink() = default;  // slot 0
    // True when the host took the frame. The frame is released by the
    // library after the call, so the host copies what it keeps.
    virtual bool DeliverFrame(IHostFrame* frame) = 0;  // slot 1
    virtual void Reserved2() {}                        // slot 2
    virtual void SignalLost() = 0;                     // slot 3
};

// Optional frame-time listener of a channel.
class IChannelListener
{
public:
    virtual ~IChannelListener() = default;                              // slot 0
    virtual void OnFrameTime(uint32_t channel, uint64_t fileTime) = 0;  // slot 1
    virtual void OnSignalLost(uint32_t channel) = 0;                    // slot 2
};

}  // namespace velkora::ipcapture
