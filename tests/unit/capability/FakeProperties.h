#pragma once
// A properties record whose discovery the test scripts.

#include <functional>
#include <memory>

#include "capability/CBaseCameraProperties.h"
#include "foundation/CEvent.h"

namespace velkora::test {

class FakeProperties : public CBaseCameraProperties
{
public:
    explicit FakeProperties(uint32_t standard = 0) : CBaseCameraProperties(DEVICE_INFO("cam", 8000, "u", "p"), standard)
    {
    }
    ~FakeProperties() override
    {
        if (destroyed)
            destroyed->Set();
    }

    bool Query(uint32_t* kind) override { return query ? query(*this, kind) : true; }
    bool WriteDeviceParameters(ipcapture::IHostCapabilityStore* store) override
    {
        return AddTextProperty(store, 1, "Video standard", std::to_string(videoStandard)) && parametersResult;
    }
    std::string GetErrorText() const override { return errorText; }

    // One H.264 stream: 1920x1080 at 25 fps and 1280x720 at no given rate; 5, 15, 25 fps.
    FakeProperties& FillPlainDevice()
    {
        manufacturer = "Acme";
        model = "X1";
        streams[0].codecs = {CapsCodecH264};
        streams[0].resolutions = {{{1920, 1080}, 25}, {{1280, 720}, 0}};
        streams[0].framerates = {5, 15, 25};
        videoSourceCount = 1;
        return *this;
    }

    std::function<bool(FakeProperties&, uint32_t*)> query;
    std::string errorText;
    bool parametersResult = true;
    std::shared_ptr<CManualEvent> destroyed;  // set when the last holder releases the record
};

}  // namespace velkora::test
