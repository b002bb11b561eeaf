#pragma once

#include <cstdint>
#include <memory>

#include <velkora/ptz.h>

#include "ptz/CBasePTZComm.h"

namespace velkora {

class IDriver;

// The host's PTZ interface of one channel. Tracks what is moving, suppresses
// repeats of the move in progress and turns requests into queued commands.
// Not locked: the host drives one control from one thread at a time.
class CBasePTZControl : public IIPPTZApiEx, public IIPParams
{
public:
    CBasePTZControl(IDriver* driver, uint32_t channel);
    ~CBasePTZControl() override;

    CBasePTZControl(const CBasePTZControl&) = delete;
    CBasePTZControl& operator=(const CBasePTZControl&) = delete;

    // IIPPTZApi
    int32_t IsPTZSupported() override;
    int32_t StartMove(uint32_t direction, int32_t speed) override;
    int32_t Stop() override;
    int32_t Center(uint32_t a, uint32_t b, uint32_t c) override;
    int32_t StartZoomA(int32_t speed) override;
    int32_t StartZoomB(int32_t speed) override;
    int32_t Unzoom(uint32_t a) override;
    int32_t AreaZoom(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override;
    int32_t StartFocusA(int32_t speed) override;
    int32_t StartFocusB(int32_t speed) override;
    int32_t StartIrisA(int32_t speed) override;
    int32_t StartIrisB(int32_t speed) override;
    int32_t GetCapabilities(PTZ_CAPABILITIES* record) override;
    int32_t Reserved14() override;
    int32_t Reserved15(uint32_t, uint32_t, uint32_t) override;
    int32_t Reserved16(uint32_t, uint32_t) override;
    int32_t Reserved17(uint32_t) override;
    int32_t Reserved18(uint32_t) override;
    int32_t Reserved19(uint32_t, uint32_t) override;
    // IIPPTZApiEx
    int32_t IsSuccess(int32_t result) override;

    // IIPParams
    uint32_t GetChannel() override;
    bool GetFirstFlag() override;
    bool SetFirstFlag(bool value) override;
    bool GetSecondFlag() override;
    bool SetSecondFlag(bool value) override;

    virtual void ReleaseWorker();
    virtual CBasePTZComm* CreateWorker() = 0;
    virtual bool Open();

protected:
    IDriver* GetDriver() const { return driver; }
    uint32_t GetChannelIndex() const { return channel; }

private:
    int32_t StartZoom(uint32_t direction, int32_t speed);
    // Focus or iris, A or B: the worker's call, and the flag that says a stop is due.
    using LensStart = int32_t (CBasePTZComm::*)(IIPParams*, bool, int32_t);
    int32_t StartLens(LensStart start, bool flag, int32_t speed, bool& running);
    static bool RepeatsLast(uint32_t direction, int32_t speed, uint32_t lastDirection, int32_t lastSpeed);

    IDriver* driver;
    uint32_t channel;
    std::unique_ptr<CBasePTZComm> worker;
    bool firstFlag = false;
    bool secondFlag = false;
    uint32_t lastMoveDirection = kPTZNoDirection;
    int32_t lastMoveSpeed = 0;
    uint32_t lastZoomDirection = kPTZNoDirection;
    int32_t lastZoomSpeed = 0;
    bool zooming = false;
    bool focusing = false;
    bool irisChanging = false;
    bool moving = false;
};

}  // namespace velkora
