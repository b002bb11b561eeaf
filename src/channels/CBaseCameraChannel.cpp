#include "channels/CBaseCameraChannel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "foundation/FileTime.h"
#include "foundation/MethodName.h"
#include "foundation/StreamKindNames.h"

namespace velkora {

namespace {
constexpr char kClassName[] = "CBaseCameraChannel";
}  // namespace

CBaseCameraChannel::CBaseCameraChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink)
    : sink(sink), channelIndex(channelIndex), driver(driver)
{
}

CBaseCameraChannel::~CBaseCameraChannel()
{
    CBaseCameraChannel::Stop();
}

bool CBaseCameraChannel::Start(const StreamParams& newParams)
{
    Stop();
    {
        CAutoLock guard(stateLock);
        params = newParams;
    }
    return StartCaptureThread();
}

void CBaseCameraChannel::Stop()
{
    SetChannelState(ChannelStopped);
    SetCameraState(false);
    StopCaptureThread();
}

bool CBaseCameraChannel::Restart(const StreamParams& newParams)
{
    {
        CAutoLock guard(stateLock);
        const uint32_t quality = params.quality;
        params = newParams;
        params.quality = quality;
    }
    SetChannelState(ChannelStopped);
    StopCaptureThread();
    return StartCaptureThread();
}

uint32_t CBaseCameraChannel::GetChannelState()
{
    CAutoLock guard(stateLock);
    return channelState;
}

void CBaseCameraChannel::SetChannelState(uint32_t state)
{
    CAutoLock guard(stateLock);
    channelState = state;
}

StreamParams CBaseCameraChannel::GetStreamParams()
{
    CAutoLock guard(stateLock);
    return params;
}

bool CBaseCameraChannel::IsCameraOnline()
{
    CAutoLock guard(stateLock);
    return cameraOnline;
}

std::string CBaseCameraChannel::DeviceText(bool capitalised)
{
    const DEVICE_INFO& info = driver->GetDeviceInfo();
    char text[512];
    if (driver->GetChannelCount() > 1)
        std::snprintf(text, sizeof text, "%s %s (channel %u)", capitalised ? "Video-server" : "video-server",
                      info.host.c_str(), channelIndex);
    else
        std::snprintf(text, sizeof text, "%s %s", capitalised ? "Camera" : "camera", info.host.c_str());
    return text;
}

void CBaseCameraChannel::SetCameraState(bool online)
{
    uint32_t kind;
    {
        // Checked and changed together, so each change is reported once even
        // when the capture loop and a host stop race.
        CAutoLock guard(stateLock);
        if (online == cameraOnline)
            return;
        cameraOnline = online;
        kind = params.kind;
    }
    if (!driver)
        return;
    const std::string methodName = MethodName(kClassName, "SetCameraState");
    const char* const method = methodName.c_str();
    const std::string device = DeviceText(true);
    const std::string tag = NamesOfStreamKind(kind).tag;
    const std::string kindTextOwner = tag.empty() ? std::string() : "(" + tag + ")";
    const char* kindText = kindTextOwner.c_str();
    if (online) {
        driver->DebugMessage(DebugNotice, "%s: %s is online %s", method, device.c_str(), kindText);
        return;
    }
    const uint32_t state = GetChannelState();
    if (state == ChannelStreamLost) {
        std::string lowered = device;
        lowered[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowered[0])));
        driver->DebugMessage(DebugFailure, "%s: Signal was lost for %s %s", method, lowered.c_str(), kindText);
    } else if (state == ChannelStopped) {
        driver->DebugMessage(DebugNotice, "%s: %s is offline. Channel was stopped %s", method, device.c_str(),
                             kindText);
    } else {
        driver->DebugMessage(DebugFailure, "%s: %s is offline or failed %s", method, device.c_str(), kindText);
    }
}

bool CBaseCameraChannel::SendFrameCallback(ipcapture::IHostFrame* frame)
{
    if (!sink || !frame)
        return false;
    try {
        if (!sink->DeliverFrame(frame))
            return false;
        NotifySendFrameCallback(frame);
        return true;
    } catch (...) {
        if (driver)
            driver->DebugMessage(DebugFailure, "%s(): Unexpected exception, device %s",
                                 MethodName(kClassName, "SendFrameCallback").c_str(), driver->GetName().c_str());
        return false;
    }
}

void CBaseCameraChannel::NotifySendFrameCallback(ipcapture::IHostFrame* frame)
{
    SYSTEMTIME time{};
    frame->GetTime(&time);
    ipcapture::IChannelListener* current = listener.load();
    if (!current)
        return;
    try {
        current->OnFrameTime(channelIndex, ToFileTime(time));
    } catch (...) {
        if (driver)
            driver->DebugMessage(DebugFailure, "%s: Unhandled exception in driver instance for device %s",
                                 MethodName(kClassName, "Notify_SendFrameCallback").c_str(), driver->GetName().c_str());
    }
}

bool CBaseCameraChannel::StartCaptureThread()
{
    // Never waits: a start while another thread holds the lock (a stop in
    // progress) fails.
    if (!threadLock.TryLock())
        return false;
    bool started = false;
    if (!captureThread.Exists()) {
        stopEvent.Reset();
        char name[32];
        std::snprintf(name, sizeof name, "Capture ch%u", channelIndex);
        started = captureThread.Start(
            [this] {
                try {
                    Run();
                } catch (...) {
                    if (driver)
                        driver->DebugMessage(DebugFailure, "Unhandled exception in method %s",
                                             MethodName(kClassName, "Run").c_str());
                }
            },
            name);
    }
    threadLock.Unlock();
    return started;
}

void CBaseCameraChannel::StopCaptureThread()
{
    stopEvent.Set();
    // From the capture thread itself only the request is made; taking the
    // lock here could wait on a host thread that is waiting for us.
    if (captureThread.IsCurrent()) {
        OnStopThread();
        return;
    }
    CAutoLock guard(threadLock);
    if (!captureThread.Exists())
        return;
    OnStopThread();
    const uint64_t timeout = driver ? 2ull * driver->GetDeviceInfo().requestTimeout : 15000;
    if (!captureThread.WaitEnded(static_cast<uint32_t>(std::min<uint64_t>(timeout, WaitInfinite - 1)))) {
        // The thread cannot be terminated safely: report as before, then wait
        // for its bounded calls to notice the stop.
        if (driver) {
            const std::string device = DeviceText(false);
            driver->DebugMessage(DebugWarning,
                                 "%s: Video capture thread for %s cannot be stopped and will be terminated now",
                                 MethodName(kClassName, "StopThread").c_str(), device.c_str());
        }
        captureThread.WaitEnded(WaitInfinite);
    }
    captureThread.Join();
}

}  // namespace velkora
