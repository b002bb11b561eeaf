#pragma once
// C entry points of libharnoquistel.so.

#include <cstdint>

#include <velkora/capabilityquery.h>
#include <velkora/capture.h>

#define VELKORA_EXPORT __attribute__((visibility("default")))

extern "C" {

// One independent driver per call; null when memory is exhausted.
VELKORA_EXPORT velkora::ipcapture::IIPCaptureDriver* CreateIPCapture();
VELKORA_EXPORT velkora::ipcapture::IIPCaptureDriver* CreateIPCaptureEx();
// Closes the device and destroys the driver; null is ignored.
VELKORA_EXPORT void DeleteIPCapture(velkora::ipcapture::IIPCaptureDriver* driver);
VELKORA_EXPORT void DeleteIPCaptureEx(velkora::ipcapture::IIPCaptureDriver* driver);

VELKORA_EXPORT velkora::ipcapture::IIPCapabilityQuery*
CreateCapabilityQueryModule(velkora::ipcapture::IHostQuerySink* sink, bool videoStandard);
VELKORA_EXPORT void DeleteCapabilityQueryModule(velkora::ipcapture::IIPCapabilityQuery* module);
VELKORA_EXPORT uint32_t InitCapabilityQuery(velkora::ipcapture::IHostQuerySink* sink, bool videoStandard);
VELKORA_EXPORT uint32_t StartCapabilityQuery(const char* address, uint32_t port, const char* user, const char* password,
                                             velkora::ipcapture::IHostCapabilityStore* store);
VELKORA_EXPORT uint32_t TerminateCapabilityQuery();
VELKORA_EXPORT uint32_t UninitCapabilityQuery();

}  // extern "C"
