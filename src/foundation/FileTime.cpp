#include "foundation/FileTime.h"

#include <ctime>

#include "foundation/MonotonicClock.h"

namespace velkora {

namespace {

constexpr int64_t TicksPerMs = 10000;
constexpr int64_t TicksPerSecond = 10000000;
constexpr int64_t SecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(unsigned y, unsigned m)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

}  // namespace

uint64_t GetSystemTimeAsFileTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return FileTimeUnixEpoch + static_cast<uint64_t>(now.tv_sec) * TicksPerSecond +
           static_cast<uint64_t>(now.tv_nsec) / 100;
}

void GetSystemTime(SYSTEMTIME* time)
{
    if (time)
        FileTimeToSystemTime(GetSystemTimeAsFileTime(), time);
}

uint64_t ToFileTime(const SYSTEMTIME& t)
{
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999)
        return 0;
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    const int64_t seconds = days * SecondsPerDay + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    return static_cast<uint64_t>(static_cast<int64_t>(FileTimeUnixEpoch) + seconds * TicksPerSecond +
                                 t.wMilliseconds * TicksPerMs);
}

bool FileTimeToSystemTime(uint64_t fileTime, SYSTEMTIME* time)
{
    if (!time || fileTime >= 0x8000000000000000ull)
        return false;
    const int64_t ticks = static_cast<int64_t>(fileTime);
    const int64_t totalSeconds = ticks / TicksPerSecond;
    const int64_t daysSince1601 = totalSeconds / SecondsPerDay;
    const int64_t secondOfDay = totalSeconds % SecondsPerDay;
    int64_t y;
    unsigned m, d;
    CivilFromDays(daysSince1601 + DaysFromCivil(1601, 1, 1), y, m, d);
    if (y > 30827)
        return false;
    time->wYear = static_cast<uint16_t>(y);
    time->wMonth = static_cast<uint16_t>(m);
    time->wDay = static_cast<uint16_t>(d);
    // 1601-01-01 was a Monday; Sunday is 0.
    time->wDayOfWeek = static_cast<uint16_t>((daysSince1601 + 1) % 7);
    time->wHour = static_cast<uint16_t>(secondOfDay / 3600);
    time->wMinute = static_cast<uint16_t>(secondOfDay % 3600 / 60);
    time->wSecond = static_cast<uint16_t>(secondOfDay % 60);
    time->wMilliseconds = static_cast<uint16_t>(ticks % TicksPerSecond / TicksPerMs);
    return true;
}

uint32_t timeGetTime()
{
    return static_cast<uint32_t>(MonotonicMs());
}

}  // namespace velkora
