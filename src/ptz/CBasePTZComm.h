#pragma once

#include <cstdint>

#include "foundation/CQueueThread.h"
#include "ptz/CPTZItem.h"
#include "ptz/CPtzCapabilities.h"

class IIPParams;

namespace velkora {

class IDriver;

// Per-channel PTZ worker: host threads post requests, the worker thread hands
// them in order to the device family's ProcessItem. Posting never waits for
// the device; the queue keeps only the newest four requests.
class CBasePTZComm : public CQueueThread<CPTZItem>
{
public:
    CBasePTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities);
    ~CBasePTZComm() override;

    CBasePTZComm(const CBasePTZComm&) = delete;
    CBasePTZComm& operator=(const CBasePTZComm&) = delete;

    virtual bool Open();
    virtual void Close();
    virtual bool IsPTZSupported(IIPParams* params) const;
    virtual int32_t GetCapabilities(PTZ_CAPABILITIES* record) const;

    // PtzDone queued, PtzCapabilityMissing, or PtzFailure when the queue refused it.
    int32_t StartMove(IIPParams* params, uint32_t direction, int32_t speed);
    int32_t StartFocus(IIPParams* params, bool flag, int32_t speed);
    int32_t StartIris(IIPParams* params, bool flag, int32_t speed);
    int32_t AreaZoom(IIPParams* params, uint32_t a, uint32_t b, uint32_t c, int32_t d);
    int32_t Center(IIPParams* params, uint32_t a, uint32_t b, int32_t c);
    int32_t Unzoom(IIPParams* params, int32_t a);
    // true when queued.
    bool StopMoving(IIPParams* params);
    bool StopZooming(IIPParams* params);
    bool StopFocusing(IIPParams* params);
    bool StopIrisChanging(IIPParams* params);

    uint16_t GetChannel() const { return channel; }
    const CPtzCapabilities& GetCapabilitySet() const { return capabilities; }
    bool IsOpened() const { return opened; }

    static constexpr uint16_t kMaxQueued = 4;
    static constexpr uint32_t kCloseTimeoutMs = 5000;

protected:
    IDriver* GetDriver() const { return driver; }

private:
    // method: the caller's name, for the failure message.
    bool PostCommand(const char* method, const CPTZItem& request);

    uint16_t maxQueued = kMaxQueued;
    uint16_t channel;
    CPtzCapabilities capabilities;
    IDriver* driver;
    bool opened = false;
};

}  // namespace velkora
