#include "ptz/CBasePTZHandler.h"

namespace velkora {

CBasePTZHandler::CBasePTZHandler(IDriver* driver, uint32_t channelCount) : driver(driver), channelCount(channelCount) {}

CBasePTZHandler::~CBasePTZHandler()
{
    CBasePTZHandler::ReleaseControls();
}

IIPPTZApiEx* CBasePTZHandler::GetPTZApiEx(uint32_t channel)
{
    if (channel >= channelCount)
        return nullptr;
    auto found = controls.find(channel);
    if (found != controls.end() && found->second)
        return found->second.get();
    std::unique_ptr<CBasePTZControl> control(CreatePTZControl(channel));
    if (!control)
        return nullptr;
    // A control that cannot open is dropped; the next request tries again.
    if (!control->Open())
        return nullptr;
    CBasePTZControl* result = control.get();
    controls[channel] = std::move(control);
    return result;
}

void CBasePTZHandler::ReleaseControls()
{
    controls.clear();
}

}  // namespace velkora
