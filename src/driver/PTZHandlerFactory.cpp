#include <new>

#include "driver/DeviceFactories.h"

#if HQ_HAVE_PTZ_HANDLER
#include "ptz/CVerintPTZHandler.h"
#endif

namespace velkora {

bool DevicePTZHandlerAvailable()
{
    return HQ_HAVE_PTZ_HANDLER != 0;
}

IIPPTZDriverEx* CreateDevicePTZHandler([[maybe_unused]] IDriver& driver, [[maybe_unused]] uint32_t channelCount)
{
#if HQ_HAVE_PTZ_HANDLER
    return new (std::nothrow) CVerintPTZHandler(&driver, channelCount);
#else
    return nullptr;
#endif
}

} // namespace velkora
