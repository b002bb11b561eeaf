#include <new>

#include <velkora/exports.h>

#include "driver/CVerintIPCaptureDriver.h"

using velkora::ipcapture::IIPCaptureDriver;

extern "C" {

IIPCaptureDriver* CreateIPCapture()
{
    try {
        return new (std::nothrow) velkora::CVerintIPCaptureDriver();
    } catch (...) {
        return nullptr;  // nothing may cross into the host
    }
}

IIPCaptureDriver* CreateIPCaptureEx() __attribute__((alias("CreateIPCapture")));

void DeleteIPCapture(IIPCaptureDriver* driver)
{
    delete driver;
}

void DeleteIPCaptureEx(IIPCaptureDriver* driver) __attribute__((alias("DeleteIPCapture")));

}  // extern "C"
