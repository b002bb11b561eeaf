#include "ptz/CVerintPTZControl.h"

#include <new>

#include "foundation/IDriver.h"
#include "ptz/CVerintPTZComm.h"

namespace velkora {

namespace {
constexpr uint32_t kPTZCapabilitiesParameter = 3;
}

CBasePTZComm* CVerintPTZControl::CreateWorker()
{
    try {
        CPtzCapabilities capabilities;
        if (GetDriver() != nullptr)
            capabilities.FromString(GetDriver()->GetParameterString(kPTZCapabilitiesParameter));
        return new (std::nothrow) CVerintPTZComm(GetDriver(), static_cast<uint16_t>(GetChannelIndex()), capabilities);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace velkora
