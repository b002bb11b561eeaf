#include "ptz/CVerintPTZComm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "foundation/FormatText.h"
#include "foundation/IDriver.h"
#include "foundation/MethodName.h"
#include "foundation/MonotonicClock.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CVerintPTZComm";
constexpr const char* kPathPrefix = "/cgi-bin/run?ptz.cgi%20";

std::string FormatPath(const std::string& command, int16_t value)
{
    char number[16];
    std::snprintf(number, sizeof(number), "%hd", value);
    return kPathPrefix + command + "%20" + number;
}

// The request as the device's CGI sees it: encoded spaces shown as spaces.
std::string DisplayRequest(const std::string& path)
{
    std::string display;
    display.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path.compare(i, 3, "%20") == 0) {
            display += ' ';
            i += 2;
        } else {
            display += path[i];
        }
    }
    return display;
}

DEVICE_INFO PTZDeviceInfo(IDriver* driver)
{
    if (driver == nullptr)
        return DEVICE_INFO();
    return DEVICE_INFO(driver->GetDeviceInfo(), driver->GetPTZPort());
}

}  // namespace

int16_t SpeedToPercent(int32_t speed)
{
    if (speed <= 0)
        return 0;
    float value = static_cast<float>(speed) * 100.0f * 0.0625f;
    value = std::clamp(value, 0.0f, 100.0f);
    return static_cast<int16_t>(value);
}

CVerintPTZComm::CVerintPTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities)
    : CBasePTZComm(driver, channel, capabilities), ptzDevice(PTZDeviceInfo(driver)), httpSender(ptzDevice)
{
}

CVerintPTZComm::~CVerintPTZComm()
{
    // The worker thread uses the sender: it must be gone before the sender is.
    CVerintPTZComm::Close();
    httpSender.Release();
}

void CVerintPTZComm::Close()
{
    if (!IsOpened())
        return;
    stopEvent.Set();
    CancelPendingSend();
    CBasePTZComm::Close();
}

bool CVerintPTZComm::EnterSend()
{
    std::lock_guard<std::mutex> guard(sendLock);
    // Checked under the lock: once Close has set the stop, no new exchange starts
    // unseen by CancelPendingSend.
    if (IsStopRequested())
        return false;
    sending = true;
    return true;
}

void CVerintPTZComm::LeaveSend()
{
    {
        std::lock_guard<std::mutex> guard(sendLock);
        sending = false;
    }
    sendDone.notify_all();
}

void CVerintPTZComm::CancelPendingSend()
{
    // A Cancel that lands just before the sender starts its exchange is lost
    // (Send clears it), so it is repeated until the worker has left the sender.
    const uint64_t deadline = MonotonicMs() + kCloseTimeoutMs;
    std::unique_lock<std::mutex> guard(sendLock);
    while (sending && MonotonicMs() < deadline) {
        guard.unlock();
        httpSender.Cancel();
        guard.lock();
        sendDone.wait_for(guard, std::chrono::milliseconds(20), [this] { return !sending; });
    }
}

void CVerintPTZComm::ProcessItem(CPTZItem* item)
{
    if (item == nullptr)
        return;
    if (!ready) {
        ready = SelectChannel();
        if (!ready)
            return;
    }
    if (item->type == kPTZMove) {
        ready = MoveSteps(*item);
    } else if (item->type == kPTZStop) {
        ready = StopSteps(*item);
    }
}

bool CVerintPTZComm::SelectChannel()
{
    // No speed maps to 1, so the next non-zero pan or tilt is sent again even
    // when it equals the last one; a remembered stop (0) is not repeated.
    if (lastPan != 0)
        lastPan = 1;
    if (lastTilt != 0)
        lastTilt = 1;
    return SendPTZCommand("address", static_cast<int16_t>(GetChannel() + 1));
}

bool CVerintPTZComm::MoveSteps(const CPTZItem& item)
{
    const int16_t v = SpeedToPercent(item.speed);
    const int16_t minus = static_cast<int16_t>(-v);
    switch (item.arg1) {
    case kPTZPanMinus: return Pan(minus);
    case kPTZPanPlus: return Pan(v);
    case kPTZTiltPlus: return Tilt(v);
    case kPTZTiltMinus: return Tilt(minus);
    case kPTZPanMinusTiltPlus: return Pan(minus) && Tilt(v);
    case kPTZPanPlusTiltPlus: return Pan(v) && Tilt(v);
    case kPTZPanMinusTiltMinus: return Pan(minus) && Tilt(minus);
    case kPTZPanPlusTiltMinus: return Pan(v) && Tilt(minus);
    case kPTZZoomDirectionA: return SendPTZCommand("zoom", v);
    case kPTZZoomDirectionB: return SendPTZCommand("zoom", minus);
    default: return true;
    }
}

bool CVerintPTZComm::StopSteps(const CPTZItem& item)
{
    switch (item.action) {
    case kPTZStopMoving: return Pan(0) && Tilt(0);
    case kPTZStopZooming: return SendPTZCommand("zoom", 0);
    default: return true;
    }
}

bool CVerintPTZComm::Pan(int16_t value)
{
    return SendAxis("pan", value, lastPan);
}

bool CVerintPTZComm::Tilt(int16_t value)
{
    return SendAxis("tilt", value, lastTilt);
}

bool CVerintPTZComm::SendAxis(const char* axis, int16_t value, uint16_t& last)
{
    const auto wanted = static_cast<uint16_t>(value);
    if (wanted == last)
        return true;
    if (!SendPTZCommand(axis, value))
        return false;
    last = wanted;
    return true;
}

bool CVerintPTZComm::SendPTZCommand(const std::string& command, int16_t value)
{
    if (command.empty() || !EnterSend())
        return true;
    const std::string path = FormatPath(command, value);
    Web::HttpRequest request("GET", path);
    const bool sent = httpSender.Send(request);
    LeaveSend();
    if (!sent && IsStopRequested()) {
        // Aborted by Close: not a device failure.
        httpSender.Release();
        return false;
    }
    const char* host = ptzDevice.host.c_str();
    const unsigned short port = ptzDevice.port;
    const std::string method = MethodName(kClassName, "SendPTZCommand");
    std::string message;
    if (!sent) {
        message = FormatText("%s: Unable to send request \"%s\" to device %s:%hu", method.c_str(),
                             DisplayRequest(path).c_str(), host, port);
    } else {
        const uint32_t status = httpSender.GetStatusCode();
        if (status == 200) {
            httpSender.Release();
            lastError.clear();
            return true;
        }
        if (status == 401 && httpSender.PasswordWithheld()) {
            message = FormatText("%s: Device %s:%hu asks for HTTP Basic authentication for \"%s\", which would send "
                                 "the password in clear; it is not sent (HARNOQUISTEL_PLAINTEXT_PASSWORD=never)",
                                 method.c_str(), host, port, DisplayRequest(path).c_str());
        } else if (status == 401) {
            message = FormatText("%s: Device %s:%hu is unable to process \"%s\" request: credentials are invalid",
                                 method.c_str(), host, port, DisplayRequest(path).c_str());
        } else if (status == 404) {
            message = FormatText("%s: The \"%s\" URL was not found on device %s:%hu", method.c_str(),
                                 DisplayRequest(path).c_str(), host, port);
        } else {
            message = FormatText("%s: Device %s:%hu is unable to process \"%s\" request. HTTP status code is %u",
                                 method.c_str(), host, port, DisplayRequest(path).c_str(), status);
        }
    }
    ReportFailure(message);
    httpSender.Release();
    return false;
}

void CVerintPTZComm::ReportFailure(const std::string& message)
{
    // A device that keeps failing the same way is reported once until it recovers.
    if (message == lastError)
        return;
    lastError = message;
    if (GetDriver() != nullptr)
        GetDriver()->DebugMessage(DebugFailure, "%s", lastError.c_str());
}

}  // namespace velkora
