#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include <velkora/ptz.h>

#include "ptz/CBasePTZControl.h"
#include "ptz/CIPPTZDriverIf.h"

namespace velkora {

class IDriver;

// The host's PTZ driver object of one device: creates each channel's control
// on first demand and owns it until the device is closed. Not locked: the
// host serialises GetPTZApi calls.
class CBasePTZHandler : public CIPPTZDriverIf
{
public:
    CBasePTZHandler(IDriver* driver, uint32_t channelCount);
    ~CBasePTZHandler() override;

    CBasePTZHandler(const CBasePTZHandler&) = delete;
    CBasePTZHandler& operator=(const CBasePTZHandler&) = delete;

    IIPPTZApiEx* GetPTZApiEx(uint32_t channel) override;

    virtual CBasePTZControl* CreatePTZControl(uint32_t channel) = 0;
    virtual void ReleaseControls();

protected:
    IDriver* GetDriver() const { return driver; }

private:
    IDriver* driver;
    std::map<uint32_t, std::unique_ptr<CBasePTZControl>> controls;
    uint32_t channelCount;
};

}  // namespace velkora
