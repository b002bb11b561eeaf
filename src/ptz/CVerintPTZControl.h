#pragma once

#include "ptz/CBasePTZControl.h"

namespace velkora {

// The device family's control: its worker speaks the camera's PTZ CGI with
// the capabilities stored as device parameter 3.
class CVerintPTZControl : public CBasePTZControl
{
public:
    using CBasePTZControl::CBasePTZControl;

    CBasePTZComm* CreateWorker() override;
};

}  // namespace velkora
