#pragma once
// The object the host holds per device: its host interface, the device
// context (IDriver) that every component receives, and the channel factory
// of the video capture object.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <velkora/capture.h>

#include "foundation/DEVICE_INFO.h"
#include "foundation/IDriver.h"
#include "driver/IVideoChannelCreator.h"
#include "foundation/ModuleInfo.h"

namespace velkora {

class CIPVideoCapture;

class CIPCaptureDriver : public ipcapture::IIPCaptureDriverEx5, public IDriver, public IVideoChannelCreator
{
public:
    CIPCaptureDriver();
    ~CIPCaptureDriver() override;

    // Host interface
    bool Open(ipcapture::IHostDebugOutput* debugOutput, ipcapture::IHostFrameFactory* hostContext,
              ipcapture::IHostDeviceSettings* settings) override;
    void Close() override;
    ipcapture::IIPVideoCapture* GetVideoCapture() override;
    void* Reserved4() override { return nullptr; }
    void* Reserved5() override { return nullptr; }
    IIPPTZDriver* GetPTZDriver() override { return ptzHandler.get(); }
    void* Reserved7() override { return nullptr; }
    ipcapture::IIPVideoCaptureEx* GetVideoCaptureEx2() override;
    IIPPTZDriverEx* GetPTZDriverEx3() override { return ptzHandler.get(); }
    void* Reserved10() override { return nullptr; }
    void* Reserved11() override { return nullptr; }
    ipcapture::IIPVideoCaptureEx2* GetVideoCaptureEx5() override;

    virtual bool OpenDevice(ipcapture::IHostDeviceSettings* settings) = 0;
    virtual void CloseDevice() {}
    virtual void LogOpened(const std::string& firmware);

    // IDriver
    std::string GetName() override;
    void DebugMessage(int32_t level, const char* format, ...) override __attribute__((format(printf, 3, 4)));
    std::string GetHostDirectory() override { return hostDirectory; }
    const DEVICE_INFO& GetDeviceInfo() override { return deviceInfo; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {channelValueA, channelValueB}; }
    ipcapture::IHostFrameFactory* GetHostContext() override { return hostContext; }
    int32_t GetVideoStandard() override { return videoStandard; }
    uint32_t GetCodecType() override { return codecType; }
    uint32_t GetChannelCount() override { return channelCount; }
    std::string GetParameterString(uint32_t index) override;
    int32_t GetParameterInt(uint32_t index) override;

    // IVideoChannelCreator: only the first factory is served.
    ISecondaryChannel* CreateSecondaryChannel(uint32_t, ipcapture::IHostChannelSink*) override { return nullptr; }
    IEdgeMonitor* CreateEdgeMonitor() override { return nullptr; }

    ModuleVersion GetHostVersion() const { return hostVersion; }

protected:
    // Destroys the video capture object and the PTZ handler.
    void ReleaseDeviceObjects();
    // HARNOQUISTEL_RTSP_TRANSPORT into the device information, once per open.
    void ReadTransportChoice();

    ipcapture::IHostDebugOutput* debugOutput = nullptr;
    ipcapture::IHostFrameFactory* hostContext = nullptr;
    std::map<uint32_t, std::string> parameters;
    ModuleVersion hostVersion;
    bool traceEnabled = false;  // level-4 lines are delivered, unadapted
    std::string hostDirectory;
    DEVICE_INFO deviceInfo;
    uint32_t channelValueA = 0;
    uint32_t channelValueB = 0;
    uint32_t channelCount = 0;
    uint32_t codecType = 0;
    int32_t videoStandard = 0;
    std::unique_ptr<CIPVideoCapture> videoCapture;
    std::unique_ptr<IIPPTZDriverEx> ptzHandler;
};

// The level a message is delivered with, adapted to what the host version
// understands. Level 4 is never delivered (see DebugMessage).
int32_t MapDebugLevel(int32_t level, const ModuleVersion& hostVersion);

// Optional sign then decimal digits that fit in 32 bits.
bool ParseStrictInt(const std::string& text, int32_t& value);

}  // namespace velkora
