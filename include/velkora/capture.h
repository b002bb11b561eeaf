#pragma once
// Video capture: the driver object the host holds per device and the video
// capture object it opens streams on. Versions derive from each other and
// one object serves all of them through one pointer, so the slot order is
// the contract.

#include <cstdint>

#include <velkora/debugoutput.h>
#include <velkora/hostframes.h>
#include <velkora/hostsettings.h>
#include <velkora/ptz.h>

namespace velkora::ipcapture {

class IIPVideoCapture
{
public:
    virtual ~IIPVideoCapture() = default;    // slot 0
    virtual uint32_t GetChannelCount() = 0;  // slot 1
    virtual bool OpenChannel(uint32_t channel, IHostChannelSink* sink,
                             IHostStreamSettings* settings) = 0;  // slot 2
    virtual bool CloseChannel(uint32_t channel) = 0;              // slot 3
    virtual bool ChangeChannel(uint32_t channel, IHostResolution* resolution,
                               uint32_t frameRate) = 0;  // slot 4
    virtual bool Reserved5() = 0;                        // slot 5: always false
    // errorText may be null; it is only touched when textSize is non-zero.
    virtual bool GetChannelState(uint32_t channel, uint32_t* state, uint32_t* errorCode, char* errorText,
                                 uint32_t textSize) = 0;  // slot 6
    // Only "EdgeStorageState" with size 2 is known.
    virtual bool SetParameter(const char* name, const uint16_t* value, uint32_t size) = 0;  // slot 7
    virtual bool GetParameter(const char* name, uint16_t* value, uint32_t size) = 0;        // slot 8
};

class IIPVideoCaptureEx : public IIPVideoCapture
{
public:
    virtual bool QueryCapability1(uint32_t channel) = 0;  // slot 9
    virtual bool QueryCapability2(uint32_t channel) = 0;  // slot 10
};

class IIPVideoCaptureEx2 : public IIPVideoCaptureEx
{
public:
    virtual bool OpenStream(uint32_t channel, uint32_t kind, IHostChannelSink* sink,
                            IHostStreamSettings* settings) = 0;     // slot 11
    virtual bool CloseStream(uint32_t channel, uint32_t kind) = 0;  // slot 12
};

class IIPCaptureDriver
{
public:
    virtual ~IIPCaptureDriver() = default;  // slot 0
    // hostContext is the frame factory; it and the other arguments must
    // outlive the open device.
    virtual bool Open(IHostDebugOutput* debugOutput, IHostFrameFactory* hostContext,
                      IHostDeviceSettings* settings) = 0;  // slot 1
    virtual void Close() = 0;                              // slot 2
    virtual IIPVideoCapture* GetVideoCapture() = 0;        // slot 3: null while closed
    virtual void* Reserved4() = 0;                         // slot 4: null
};

class IIPCaptureDriverEx : public IIPCaptureDriver
{
public:
    virtual void* Reserved5() = 0;                      // slot 5: null
    virtual velkora::IIPPTZDriver* GetPTZDriver() = 0;  // slot 6
};

// Later versions repeat the accessors; each returns the same object.
class IIPCaptureDriverEx2 : public IIPCaptureDriverEx
{
public:
    virtual void* Reserved7() = 0;                        // slot 7: null
    virtual IIPVideoCaptureEx* GetVideoCaptureEx2() = 0;  // slot 8
};

class IIPCaptureDriverEx3 : public IIPCaptureDriverEx2
{
public:
    virtual velkora::IIPPTZDriverEx* GetPTZDriverEx3() = 0;  // slot 9
};

class IIPCaptureDriverEx4 : public IIPCaptureDriverEx3
{
public:
    virtual void* Reserved10() = 0;  // slot 10: null
    virtual void* Reserved11() = 0;  // slot 11: null
};

class IIPCaptureDriverEx5 : public IIPCaptureDriverEx4
{
public:
    virtual IIPVideoCaptureEx2* GetVideoCaptureEx5() = 0;  // slot 12
};

}  // namespace velkora::ipcapture
