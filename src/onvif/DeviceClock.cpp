#include "onvif/DeviceClock.h"

#include "foundation/FileTime.h"
#include "onvif/CXmlParser.h"

namespace velkora {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;

// Digits only, at most five: anything else makes the answer malformed.
bool ReadNumber(CXmlParser& parser, const std::string& xpath, unsigned& value)
{
    std::string text = parser.GetNodeText(xpath);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<unsigned>(std::stoul(text));
    return true;
}

int64_t SecondsOf(uint64_t fileTime)
{
    return static_cast<int64_t>(fileTime / kTicksPerSecond);
}

}  // namespace

std::optional<DeviceDateTime> ReadDeviceDateTime(const std::string& answer)
{
    CXmlParser parser;
    if (!parser.Load(answer))
        return std::nullopt;
    const std::string base = "SOAP-ENV:Envelope/SOAP-ENV:Body/tds:GetSystemDateAndTimeResponse/"
                             "tds:SystemDateAndTime/tt:UTCDateTime";
    DeviceDateTime time;
    if (!ReadNumber(parser, base + "/tt:Time/tt:Hour", time.hour) ||
        !ReadNumber(parser, base + "/tt:Time/tt:Minute", time.minute) ||
        !ReadNumber(parser, base + "/tt:Time/tt:Second", time.second))
        return std::nullopt;
    if (parser.NodeExists(base + "/tt:Date")) {
        if (!ReadNumber(parser, base + "/tt:Date/tt:Year", time.year) ||
            !ReadNumber(parser, base + "/tt:Date/tt:Month", time.month) ||
            !ReadNumber(parser, base + "/tt:Date/tt:Day", time.day))
            return std::nullopt;
        time.hasDate = true;
    }
    return time;
}

std::optional<int64_t> ClockOffsetSeconds(const DeviceDateTime& device, uint64_t ours)
{
    if (device.hour > 23 || device.minute > 59 || device.second > 59)
        return std::nullopt;
    const int64_t oursSeconds = SecondsOf(ours);
    if (!device.hasDate) {
        const int64_t deviceOfDay = device.hour * 3600 + device.minute * 60 + device.second;
        int64_t offset = (deviceOfDay - oursSeconds % kSecondsPerDay) % kSecondsPerDay;
        if (offset >= kSecondsPerDay / 2)
            offset -= kSecondsPerDay;
        else if (offset < -kSecondsPerDay / 2)
            offset += kSecondsPerDay;
        return offset;
    }
    SYSTEMTIME time{};
    time.wYear = static_cast<uint16_t>(device.year > 0xFFFF ? 0 : device.year);
    time.wMonth = static_cast<uint16_t>(device.month);
    time.wDay = static_cast<uint16_t>(device.day);
    time.wHour = static_cast<uint16_t>(device.hour);
    time.wMinute = static_cast<uint16_t>(device.minute);
    time.wSecond = static_cast<uint16_t>(device.second);
    const uint64_t deviceTime = ToFileTime(time);
    if (deviceTime == 0)
        return std::nullopt;
    return SecondsOf(deviceTime) - oursSeconds;
}

SYSTEMTIME ShiftedTime(uint64_t ours, int64_t offsetSeconds)
{
    const int64_t shifted = static_cast<int64_t>(ours) + offsetSeconds * kTicksPerSecond;
    SYSTEMTIME time{};
    if (shifted <= 0 || !FileTimeToSystemTime(static_cast<uint64_t>(shifted), &time))
        FileTimeToSystemTime(ours, &time);
    return time;
}

}  // namespace velkora
