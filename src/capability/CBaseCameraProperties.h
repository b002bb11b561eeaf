#pragma once

#include <cstdint>
#include <string>

#include <velkora/capabilityquery.h>

#include "capability/CAudioCapabilities.h"
#include "capability/StreamCaps.h"
#include "foundation/DEVICE_INFO.h"
#include "foundation/CEvent.h"

namespace velkora {

// The record a capability query fills and writes into the host's store.
class CBaseCameraProperties
{
public:
    // videoStandard: 1 for a 30-frame standard, 0 for a 25-frame standard.
    CBaseCameraProperties(const DEVICE_INFO& device, uint32_t videoStandard);

    virtual void Abort() {}
    virtual bool WriteFramerates(ipcapture::IHostFramerateList* list);
    virtual bool WriteDeviceParameters(ipcapture::IHostCapabilityStore* store) = 0;
    virtual ~CBaseCameraProperties() = default;
    // kind: failure kind out (1 login failed, 3 other).
    virtual bool Query(uint32_t* kind) = 0;
    virtual std::string GetErrorText() const { return {}; }

    bool SaveResults(ipcapture::IHostCapabilityStore* store);

    // Sets the two host-version switches; a version that could not be read
    // leaves them both false.
    void ApplyHostVersion(bool known, uint16_t major, uint16_t minor);

    // The host's encoding of a frame rate: a frame interval in ms, or for
    // high rates on new hosts the rate tagged with 0x70000000.
    uint32_t FrameValue(uint32_t rate) const;
    std::string CodecText(const StreamCaps& caps) const;
    std::string ResolutionText(const StreamCaps& caps) const;
    std::string FramerateText(const StreamCaps& caps) const;

    // Nothing for a number <= 0 or an empty name; an empty value becomes "(none)".
    // False when the store gave no property object.
    static bool AddTextProperty(ipcapture::IHostCapabilityStore* store, int32_t number, const std::string& name,
                                const std::string& value);

    std::string manufacturer;
    std::string model;
    CAudioCapabilities audioInput;
    CAudioCapabilities audioOutput;
    bool highRateCodes = false;
    bool streamProperties = false;
    bool ptzSupported = false;
    DEVICE_INFO deviceInfo;
    uint32_t videoStandard = 0;
    CManualEvent abortEvent;
    std::string firmware;
    uint16_t videoSourceCount = 0;
    uint16_t streamCount = 1;
    StreamCaps streams[3];

protected:
    bool IsAborted() const;

private:
    // The rate whose frame value is the default, as the host expects it.
    static uint32_t DefaultRate(const StreamCaps& caps);
    void WriteStreamTexts(ipcapture::IHostCapabilityStore* store, int32_t firstNumber, const char* prefix,
                          const StreamCaps& caps) const;
};

}  // namespace velkora
