#include "DeviceSettings.h"

namespace host {

const char* DeviceSettings::GetParameter(uint32_t index)
{
    if (index == 0 || index > record_.parameters.size())
        return nullptr;
    return record_.parameters[index - 1].c_str();
}

}  // namespace host
