#include "ptz/CVerintPTZHandler.h"

#include <new>

#include "ptz/CVerintPTZControl.h"

namespace velkora {

CBasePTZControl* CVerintPTZHandler::CreatePTZControl(uint32_t channel)
{
    return new (std::nothrow) CVerintPTZControl(GetDriver(), channel);
}

}  // namespace velkora
