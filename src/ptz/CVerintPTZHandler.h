#pragma once

#include "ptz/CBasePTZHandler.h"

namespace velkora {

// The device family's PTZ driver object, handed to the host by GetPTZDriver.
class CVerintPTZHandler : public CBasePTZHandler
{
public:
    using CBasePTZHandler::CBasePTZHandler;

    CBasePTZControl* CreatePTZControl(uint32_t channel) override;
};

}  // namespace velkora
