#include "media/CRTPMediaParser.h"

#include "foundation/IDriver.h"
#include "foundation/MethodName.h"

namespace velkora {

namespace {
constexpr char kClassName[] = "CRTPMediaParser";
}

void CRTPMediaParser::SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps,
                                       const std::vector<uint8_t>& third)
{
    sps_ = sps;
    pps_ = pps;
    thirdParameterSet_ = third;
}

bool CRTPMediaParser::CheckBufferSize()
{
    if (frameBuffer_.size() <= kFrameBufferLimit)
        return true;
    if (driver_ != nullptr) {
        const DEVICE_INFO& info = driver_->GetDeviceInfo();
        driver_->DebugMessage(DebugFailure, "%s: Frame buffer overflow detected, device %s:%u",
                              MethodName(kClassName, "CheckBufferSize").c_str(), info.host.c_str(),
                              static_cast<unsigned>(info.port));
    }
    return false;
}

}  // namespace velkora
