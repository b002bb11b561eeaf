#include "ptz/CBasePTZComm.h"

#include <cstdio>
#include <new>

#include <velkora/ptz.h>

#include "foundation/IDriver.h"
#include "foundation/MethodName.h"

namespace velkora {

namespace {
constexpr char kClassName[] = "CBasePTZComm";
}  // namespace

CBasePTZComm::CBasePTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities)
    : CQueueThread<CPTZItem>(driver), channel(channel), capabilities(capabilities), driver(driver)
{
}

CBasePTZComm::~CBasePTZComm()
{
    if (opened)
        Close();
}

bool CBasePTZComm::Open()
{
    if (opened)
        return true;
    char name[64];
    std::snprintf(name, sizeof(name), "BaseIPPTZThread_Ch%u", static_cast<unsigned>(channel) + 1u);
    opened = StartThread(name);
    if (!opened && driver != nullptr) {
        driver->DebugMessage(DebugFailure, "%s: unable to start thread for PTZ channel %u",
                             MethodName(kClassName, "Open").c_str(), static_cast<unsigned>(channel) + 1u);
    }
    return opened;
}

void CBasePTZComm::Close()
{
    if (!opened)
        return;
    Stop(kCloseTimeoutMs);
    opened = false;
}

bool CBasePTZComm::IsPTZSupported(IIPParams*) const
{
    return capabilities.pan || capabilities.tilt || capabilities.zoom || capabilities.focus || capabilities.iris;
}

int32_t CBasePTZComm::GetCapabilities(PTZ_CAPABILITIES* record) const
{
    record->word6 = 0;
    record->word8 = 0;
    record->word9 = 0;
    record->word10 = 0;
    record->presetCount = 0;
    capabilities.FillRecord(record);
    return PtzDone;
}

bool CBasePTZComm::PostCommand(const char* method, const CPTZItem& request)
{
    auto* item = new (std::nothrow) CPTZItem(request);
    // Post takes the item whether or not it queues it.
    const bool posted = item != nullptr && Post(item, maxQueued);
    if (!posted && driver != nullptr) {
        driver->DebugMessage(DebugFailure, "%s: cannot send message (%d) to thread",
                             MethodName(kClassName, method).c_str(), static_cast<int>(request.type));
    }
    return posted;
}

int32_t CBasePTZComm::StartMove(IIPParams* params, uint32_t direction, int32_t speed)
{
    const bool zoomDirection = direction == kPTZZoomDirectionA || direction == kPTZZoomDirectionB;
    const bool capable = zoomDirection ? capabilities.zoom : (capabilities.pan || capabilities.tilt);
    if (!capable)
        return PtzCapabilityMissing;
    return PostCommand("StartMove", CPTZItem(kPTZMove, 0, params, speed, direction)) ? PtzDone : PtzFailure;
}

int32_t CBasePTZComm::StartFocus(IIPParams* params, bool flag, int32_t speed)
{
    if (!capabilities.focus)
        return PtzCapabilityMissing;
    return PostCommand("StartFocus", CPTZItem(kPTZFocus, flag ? kPTZFocusTrue : kPTZFocusFalse, params, speed))
               ? PtzDone
               : PtzFailure;
}

int32_t CBasePTZComm::StartIris(IIPParams* params, bool flag, int32_t speed)
{
    if (!capabilities.iris)
        return PtzCapabilityMissing;
    return PostCommand("StartIris", CPTZItem(kPTZIris, flag ? kPTZIrisTrue : kPTZIrisFalse, params, speed))
               ? PtzDone
               : PtzFailure;
}

int32_t CBasePTZComm::AreaZoom(IIPParams* params, uint32_t a, uint32_t b, uint32_t c, int32_t d)
{
    if (!capabilities.areaZoom)
        return PtzCapabilityMissing;
    return PostCommand("AreaZoom", CPTZItem(kPTZAreaZoom, 0, params, d, a, b, c)) ? PtzDone : PtzFailure;
}

int32_t CBasePTZComm::Center(IIPParams* params, uint32_t a, uint32_t b, int32_t c)
{
    if (!capabilities.center)
        return PtzCapabilityMissing;
    return PostCommand("Center", CPTZItem(kPTZCenter, 0, params, c, a, b)) ? PtzDone : PtzFailure;
}

int32_t CBasePTZComm::Unzoom(IIPParams* params, int32_t a)
{
    if (!capabilities.unzoom)
        return PtzCapabilityMissing;
    return PostCommand("Unzoom", CPTZItem(kPTZUnzoom, 0, params, a)) ? PtzDone : PtzFailure;
}

bool CBasePTZComm::StopMoving(IIPParams* params)
{
    return PostCommand("StopMoving", CPTZItem(kPTZStop, kPTZStopMoving, params, 0));
}

bool CBasePTZComm::StopZooming(IIPParams* params)
{
    return PostCommand("StopZooming", CPTZItem(kPTZStop, kPTZStopZooming, params, 0));
}

bool CBasePTZComm::StopFocusing(IIPParams* params)
{
    return PostCommand("StopFocusing", CPTZItem(kPTZStop, kPTZStopFocusing, params, 0));
}

bool CBasePTZComm::StopIrisChanging(IIPParams* params)
{
    return PostCommand("StopIrisChanging", CPTZItem(kPTZStop, kPTZStopIrisChanging, params, 0));
}

}  // namespace velkora
