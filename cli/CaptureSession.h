#pragma once
// One opened device, held as a host holds it: the driver from
// CreateIPCapture, opened with the reference host's settings and frame
// factory, giving the video capture object and the PTZ driver.

#include <cstdint>
#include <memory>
#include <string>

#include <velkora/capture.h>

#include "host/DeviceSettings.h"
#include "host/Frames.h"

namespace hqcli {

class Console;
class Library;

class CaptureSession
{
public:
    CaptureSession(Library& library, Console& console);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    bool Open(const host::DeviceRecord& record, std::string* error);
    // Closes the device; every stream still open is stopped by the driver.
    void Close();

    velkora::ipcapture::IIPVideoCaptureEx2* VideoCapture();
    // The PTZ interface of a 0-based channel, null when there is none.
    velkora::IIPPTZApi* PtzApi(uint32_t channel);

private:
    Library& library;
    Console& console;
    host::FrameFactory frames;  // outlives the driver: it releases frames into it
    std::unique_ptr<host::DeviceSettings> settings;
    velkora::ipcapture::IIPCaptureDriver* driver = nullptr;
};

}  // namespace hqcli
