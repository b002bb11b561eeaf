#include <new>

#include "driver/DeviceFactories.h"
#include "ptz/CVerintPTZHandler.h"

namespace velkora {

bool DevicePTZHandlerAvailable()
{
    return true;
}

IIPPTZDriverEx* CreateDevicePTZHandler(IDriver& driver, uint32_t channelCount)
{
    return new (std::nothrow) CVerintPTZHandler(&driver, channelCount);
}

} // namespace velkora
