#pragma once

#include <velkora/ptz.h>

namespace velkora {

// The library's side of the host's PTZ driver interface; adds nothing, so
// that every PTZ driver object of the library shares one base.
class CIPPTZDriverIf : public IIPPTZDriverEx
{};

}  // namespace velkora
