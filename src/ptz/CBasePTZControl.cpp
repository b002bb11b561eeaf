#include "ptz/CBasePTZControl.h"

namespace velkora {

CBasePTZControl::CBasePTZControl(IDriver* driver, uint32_t channel) : driver(driver), channel(channel) {}

CBasePTZControl::~CBasePTZControl()
{
    CBasePTZControl::ReleaseWorker();
}

bool CBasePTZControl::RepeatsLast(uint32_t direction, int32_t speed, uint32_t lastDirection, int32_t lastSpeed)
{
    if (direction != lastDirection)
        return false;
    if (speed == lastSpeed)
        return true;
    // Widened so that speeds at the ends of the 32-bit range cannot overflow.
    const int64_t wide = speed;
    const int64_t last = lastSpeed;
    return speed != 0 && lastSpeed != 0 && last >= wide - 1 && last <= wide + 1;
}

int32_t CBasePTZControl::IsPTZSupported()
{
    if (!worker)
        return PtzFailure;
    return worker->IsPTZSupported(this) ? 1 : 0;
}

int32_t CBasePTZControl::StartMove(uint32_t direction, int32_t speed)
{
    if (!worker)
        return PtzFailure;
    if (direction == kPTZZoomDirectionA)
        return StartZoomA(speed);
    if (direction == kPTZZoomDirectionB)
        return StartZoomB(speed);
    if (direction == kPTZNoDirection)
        return PtzInvalidArgument;
    if (RepeatsLast(direction, speed, lastMoveDirection, lastMoveSpeed))
        return PtzDone;
    lastMoveDirection = direction;
    lastMoveSpeed = speed;
    const int32_t result = worker->StartMove(this, direction, speed);
    if (result == PtzDone)
        moving = true;
    return result;
}

int32_t CBasePTZControl::StartZoom(uint32_t direction, int32_t speed)
{
    if (RepeatsLast(direction, speed, lastZoomDirection, lastZoomSpeed))
        return PtzDone;
    lastZoomDirection = direction;
    lastZoomSpeed = speed;
    if (!worker)
        return PtzFailure;
    const int32_t result = worker->StartMove(this, direction, speed);
    if (result == PtzDone)
        zooming = true;
    return result;
}

int32_t CBasePTZControl::StartZoomA(int32_t speed)
{
    return StartZoom(kPTZZoomDirectionA, speed);
}

int32_t CBasePTZControl::StartZoomB(int32_t speed)
{
    return StartZoom(kPTZZoomDirectionB, speed);
}

int32_t CBasePTZControl::Stop()
{
    if (!worker)
        return PtzFailure;
    bool allQueued = true;
    // A stop that cannot be queued leaves its flag set, so the next Stop retries it.
    if (moving) {
        lastMoveDirection = kPTZNoDirection;
        lastMoveSpeed = 0;
        moving = !worker->StopMoving(this);
        allQueued = allQueued && !moving;
    }
    if (zooming) {
        lastZoomDirection = kPTZNoDirection;
        lastZoomSpeed = 0;
        zooming = !worker->StopZooming(this);
        allQueued = allQueued && !zooming;
    }
    if (irisChanging) {
        irisChanging = !worker->StopIrisChanging(this);
        allQueued = allQueued && !irisChanging;
    }
    if (focusing) {
        focusing = !worker->StopFocusing(this);
        allQueued = allQueued && !focusing;
    }
    return allQueued ? PtzDone : PtzFailure;
}

int32_t CBasePTZControl::Center(uint32_t a, uint32_t b, uint32_t c)
{
    if (!worker)
        return PtzFailure;
    return worker->Center(this, a, b, static_cast<int32_t>(c));
}

int32_t CBasePTZControl::Unzoom(uint32_t a)
{
    if (!worker)
        return PtzFailure;
    return worker->Unzoom(this, static_cast<int32_t>(a));
}

int32_t CBasePTZControl::AreaZoom(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    if (!worker)
        return PtzFailure;
    return worker->AreaZoom(this, a, b, c, static_cast<int32_t>(d));
}

int32_t CBasePTZControl::StartFocusA(int32_t speed)
{
    return StartLens(&CBasePTZComm::StartFocus, true, speed, focusing);
}

int32_t CBasePTZControl::StartFocusB(int32_t speed)
{
    return StartLens(&CBasePTZComm::StartFocus, false, speed, focusing);
}

int32_t CBasePTZControl::StartIrisA(int32_t speed)
{
    return StartLens(&CBasePTZComm::StartIris, true, speed, irisChanging);
}

int32_t CBasePTZControl::StartIrisB(int32_t speed)
{
    return StartLens(&CBasePTZComm::StartIris, false, speed, irisChanging);
}

int32_t CBasePTZControl::StartLens(LensStart start, bool flag, int32_t speed, bool& running)
{
    if (!worker)
        return PtzFailure;
    const int32_t result = (worker.get()->*start)(this, flag, speed);
    if (result == PtzDone)
        running = true;
    return result;
}

int32_t CBasePTZControl::GetCapabilities(PTZ_CAPABILITIES* record)
{
    if (!worker)
        return PtzFailure;
    if (record == nullptr)
        return PtzInvalidArgument;
    const int32_t result = worker->GetCapabilities(record);
    if (result == PtzDone) {
        // Presets are not driven by this family, so the host never sees any.
        record->presetCount = 0;
        record->word8 = 0;
    }
    return result;
}

int32_t CBasePTZControl::Reserved14()
{
    return 0;
}
int32_t CBasePTZControl::Reserved15(uint32_t, uint32_t, uint32_t)
{
    return PtzNotOffered;
}
int32_t CBasePTZControl::Reserved16(uint32_t, uint32_t)
{
    return PtzNotOffered;
}
int32_t CBasePTZControl::Reserved17(uint32_t)
{
    return PtzNotOffered;
}
int32_t CBasePTZControl::Reserved18(uint32_t)
{
    return PtzNotOffered;
}
int32_t CBasePTZControl::Reserved19(uint32_t, uint32_t)
{
    return PtzNotOffered;
}

int32_t CBasePTZControl::IsSuccess(int32_t result)
{
    return result == PtzDone ? 1 : 0;
}

uint32_t CBasePTZControl::GetChannel()
{
    return channel;
}
bool CBasePTZControl::GetFirstFlag()
{
    return firstFlag;
}
bool CBasePTZControl::SetFirstFlag(bool value)
{
    return firstFlag = value;
}
bool CBasePTZControl::GetSecondFlag()
{
    return secondFlag;
}
bool CBasePTZControl::SetSecondFlag(bool value)
{
    return secondFlag = value;
}

void CBasePTZControl::ReleaseWorker()
{
    if (!worker)
        return;
    worker->Close();
    worker.reset();
}

bool CBasePTZControl::Open()
{
    ReleaseWorker();
    worker.reset(CreateWorker());
    if (worker && worker->Open())
        return true;
    ReleaseWorker();
    return false;
}

}  // namespace velkora
