#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "http/CHttpSender.h"
#include "ptz/CBasePTZComm.h"

namespace velkora {

// Host speed (1..16 and beyond) to the device's per-cent value: 6, 12, 18 ...
// 100; zero and negative speeds give 0.
int16_t SpeedToPercent(int32_t speed);

// The device family's PTZ worker: speaks the camera's CGI ("ptz.cgi pan -50")
// on the worker thread, one HTTP GET per command.
class CVerintPTZComm : public CBasePTZComm
{
public:
    CVerintPTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities);
    ~CVerintPTZComm() override;

    void Close() override;

    bool SendPTZCommand(const std::string& command, int16_t value);

protected:
    void ProcessItem(CPTZItem* item) override;

private:
    bool SelectChannel();
    bool MoveSteps(const CPTZItem& item);
    bool StopSteps(const CPTZItem& item);
    bool Pan(int16_t value);
    bool Tilt(int16_t value);
    // Sends an axis speed unless it is the one last sent on that axis.
    bool SendAxis(const char* axis, int16_t value, uint16_t& last);
    void ReportFailure(const std::string& message);
    bool EnterSend();
    void LeaveSend();
    void CancelPendingSend();

    DEVICE_INFO ptzDevice;  // the device's description on the PTZ port
    Web::CHttpSender httpSender;
    std::string lastError;
    bool ready = false;
    uint16_t lastPan = 0;
    uint16_t lastTilt = 0;

    // Lets Close abort an exchange with a slow device instead of waiting it out.
    std::mutex sendLock;
    std::condition_variable sendDone;
    bool sending = false;
};

}  // namespace velkora
