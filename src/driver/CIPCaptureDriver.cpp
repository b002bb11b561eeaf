#include "driver/CIPCaptureDriver.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <new>

#include "driver/CIPVideoCapture.h"
#include "foundation/CDebugInfo.h"
#include "foundation/FormatText.h"
#include "foundation/PasswordOptions.h"
#include "foundation/Trace.h"
#include "foundation/MethodName.h"

namespace velkora {

namespace {

constexpr char kClassName[] = "CIPCaptureDriver";

const char* TextOrEmpty(const char* text)
{
    return text ? text : "";
}

// Host core library version assumed when it cannot be read.
constexpr ModuleVersion DefaultHostVersion{5, 12, 0, 0};

}  // namespace

void CIPCaptureDriver::ReadTransportChoice()
{
    static constexpr const char* kVariable = "HARNOQUISTEL_RTSP_TRANSPORT";
    const char* text = std::getenv(kVariable);
    const std::string choice = text ? text : "";
    if (choice.empty() || choice == "auto") {
        deviceInfo.rtspTransport = RtspTransport::Auto;
    } else if (choice == "udp") {
        deviceInfo.rtspTransport = RtspTransport::Udp;
    } else if (choice == "tcp") {
        deviceInfo.rtspTransport = RtspTransport::Tcp;
    } else {
        deviceInfo.rtspTransport = RtspTransport::Auto;
        DebugMessage(DebugFailure, "%s: %s=%s is not udp, tcp or auto; auto is used",
                     MethodName(kClassName, "Open").c_str(), kVariable, choice.c_str());
    }
}

int32_t MapDebugLevel(int32_t level, const ModuleVersion& host)
{
    if (!IsVersionAtLeast(host, 5, 12))
        return level == DebugNotice || level == DebugOpened ? DebugWarning : level;
    if (!IsVersionAtLeast(host, 6, 3))
        return level == DebugOpened ? DebugNotice : level;
    return level;
}

bool ParseStrictInt(const std::string& text, int32_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
        if (result > int64_t{INT32_MAX} + 1)
            return false;
    }
    if (negative)
        result = -result;
    if (result > INT32_MAX)
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

CIPCaptureDriver::CIPCaptureDriver() : hostDirectory(velkora::GetHostDirectory())
{
    if (!GetHostCoreVersion(hostVersion))
        hostVersion = DefaultHostVersion;
    traceEnabled = TraceRequested();
}

CIPCaptureDriver::~CIPCaptureDriver()
{
    ReleaseDeviceObjects();
}

bool CIPCaptureDriver::Open(ipcapture::IHostDebugOutput* debugSink, ipcapture::IHostFrameFactory* frameFactory,
                            ipcapture::IHostDeviceSettings* settings)
{
    // A device still open is closed first: its channels and PTZ workers must
    // not keep running on the configuration that is being replaced.
    if (videoCapture || ptzHandler)
        Close();
    ipcapture::IHostConnectionSettings* connection = settings ? settings->GetConnectionSettings() : nullptr;
    ipcapture::IHostChannelSettings* channel = settings ? settings->GetChannelSettings() : nullptr;
    if (!connection || !channel) {
        Close();
        return false;
    }
    codecType = connection->GetCodecType();
    channelValueA = channel->GetValueA();
    channelValueB = channel->GetValueB();
    channelCount = channel->GetChannelCount();
    deviceInfo.host = TextOrEmpty(connection->GetAddress());
    deviceInfo.port = connection->GetPort();
    deviceInfo.user = TextOrEmpty(connection->GetUser());
    deviceInfo.password = TextOrEmpty(connection->GetPassword());
    deviceInfo.model = TextOrEmpty(channel->GetModel());
    // Parameters of an earlier open must not outlive a reconfiguration.
    parameters.clear();
    for (uint32_t index = 1;; ++index) {
        const char* text = settings->GetParameter(index);
        if (!text)
            break;
        parameters[index] = text;
    }

    hostContext = frameFactory;
    debugOutput = debugSink;
    ReadTransportChoice();
    ReadPasswordOptions(deviceInfo);

    videoCapture.reset(new (std::nothrow) CIPVideoCapture(this, channelCount));
    if (videoCapture && OpenDevice(settings))
        return true;
    Close();
    return false;
}

void CIPCaptureDriver::Close()
{
    CloseDevice();
    ReleaseDeviceObjects();
}

void CIPCaptureDriver::ReleaseDeviceObjects()
{
    videoCapture.reset();
    ptzHandler.reset();
}

ipcapture::IIPVideoCapture* CIPCaptureDriver::GetVideoCapture()
{
    return videoCapture.get();
}

ipcapture::IIPVideoCaptureEx* CIPCaptureDriver::GetVideoCaptureEx2()
{
    return videoCapture.get();
}

ipcapture::IIPVideoCaptureEx2* CIPCaptureDriver::GetVideoCaptureEx5()
{
    return videoCapture.get();
}

void CIPCaptureDriver::LogOpened(const std::string& firmware)
{
    const std::string module = GetModuleName();
    if (module.empty() || deviceInfo.model.empty())
        return;
    std::string line = "DRIVER IS OPENED (name: " + module + ", device model: " + deviceInfo.model;
    if (!firmware.empty())
        line += ", FW: " + firmware;
    line += ", address: " + deviceInfo.host + ":" + std::to_string(deviceInfo.port) + ")";
    DebugMessage(DebugOpened, "%s", line.c_str());
}

std::string CIPCaptureDriver::GetName()
{
    return deviceInfo.host + ":" + std::to_string(deviceInfo.port);
}

void CIPCaptureDriver::DebugMessage(int32_t level, const char* format, ...)
{
    std::string text;
    if (format) {
        try {
            va_list args;
            va_start(args, format);
            text = FormatTextV(format, args);
            va_end(args);
        } catch (...) {
            text.clear();
        }
    }
    if (text.empty() || (level == DebugTrace && !traceEnabled) || !debugOutput)
        return;
    CDebugInfo info(static_cast<uint8_t>(MapDebugLevel(level, hostVersion)), text.c_str());
    try {
        debugOutput->Output(&info);
    } catch (...) {
        // The host's failure must not reach the component that logged.
    }
}

std::string CIPCaptureDriver::GetParameterString(uint32_t index)
{
    const auto found = parameters.find(index);
    if (found == parameters.end() || found->second == "(none)")
        return {};
    return found->second;
}

int32_t CIPCaptureDriver::GetParameterInt(uint32_t index)
{
    const auto found = parameters.find(index);
    int32_t value = 0;
    if (found == parameters.end() || !ParseStrictInt(found->second, value))
        return ParameterNotInteger;
    return value;
}

}  // namespace velkora
