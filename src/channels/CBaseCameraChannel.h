#pragma once
// Base of the channel layers: the capture thread, the channel state, the
// online/offline messages and frame delivery to the host. Layers above
// implement Run (the capture loop) and must call Stop() in their own
// destructor, because Run cannot be called once they are destroyed.

#include <atomic>
#include <cstdint>

#include "channels/ICameraChannel.h"
#include "foundation/IDriver.h"
#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"
#include "foundation/CTime.h"
#include "foundation/NativeThread.h"

namespace velkora {

class CBaseCameraChannel : public ICameraChannel
{
public:
    CBaseCameraChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CBaseCameraChannel() override;

    uint32_t GetChannelIndex() override { return channelIndex; }
    ipcapture::IHostChannelSink* GetSink() override { return sink; }
    void SetListener(ipcapture::IChannelListener* newListener) override { listener.store(newListener); }
    bool Start(const StreamParams& newParams) override;
    void Stop() override;
    bool Restart(const StreamParams& newParams) override;
    bool QueryCapability1() override { return false; }
    bool QueryCapability2() override { return false; }
    uint32_t GetChannelState() override;

    void SetChannelState(uint32_t state);
    // Logs each change of the camera state exactly once.
    void SetCameraState(bool online);
    bool IsCameraOnline();
    // True when the host took the frame. Never throws.
    bool SendFrameCallback(ipcapture::IHostFrame* frame);
    bool StartCaptureThread();
    void StopCaptureThread();

    // The parameters of the last start, read consistently from any thread.
    StreamParams GetStreamParams();
    bool IsCaptureThread() const { return captureThread.IsCurrent(); }

protected:
    virtual uint32_t Run() = 0;  // slot 11
    // Called before the capture thread is joined, with threadLock held.
    virtual void OnStopThread() {}  // slot 12

    bool cameraOnline = false;  // guarded by stateLock
    CRecursiveLock stateLock;   // guards channelState, cameraOnline and params
    uint32_t channelState = ChannelStopped;
    CRecursiveLock threadLock;  // guards captureThread
    NativeThread captureThread;
    ipcapture::IHostChannelSink* sink;
    std::atomic<ipcapture::IChannelListener*> listener{nullptr};
    uint32_t channelIndex;
    IDriver* driver;
    StreamParams params;
    CManualEvent stopEvent;  // asks the capture loop to end
    CTime frameTimer;        // restarted at every delivered frame

private:
    void NotifySendFrameCallback(ipcapture::IHostFrame* frame);
    std::string DeviceText(bool capitalised);
};

}  // namespace velkora
