#include "onvif/DeviceClock.h"
#include "onvif/DeviceClockOffsets.h"

#include "foundation/FileTime.h"

#include <gtest/gtest.h>

using namespace velkora;

namespace {

uint64_t At(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute, uint16_t second)
{
    return ToFileTime(SYSTEMTIME{year, month, 0, day, hour, minute, second, 0});
}

DeviceDateTime Dated(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second)
{
    return DeviceDateTime{true, year, month, day, hour, minute, second};
}

DeviceDateTime Undated(unsigned hour, unsigned minute, unsigned second)
{
    return DeviceDateTime{false, 0, 0, 0, hour, minute, second};
}

std::string Answer(const std::string& utc)
{
    return "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:d=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:t=\"http://www.onvif.org/ver10/schema\"><e:Body>"
           "<d:GetSystemDateAndTimeResponse><d:SystemDateAndTime><t:DateTimeType>Manual</t:DateTimeType>"
           "<t:UTCDateTime>" +
           utc +
           "</t:UTCDateTime></d:SystemDateAndTime></d:GetSystemDateAndTimeResponse>"
           "</e:Body></e:Envelope>";
}

}  // namespace

TEST(DeviceClock, OffsetAcrossDayAndYearBoundaries)
{
    const uint64_t newYear = At(2025, 1, 1, 0, 0, 1);
    EXPECT_EQ(-2, ClockOffsetSeconds(Dated(2024, 12, 31, 23, 59, 59), newYear));
    EXPECT_EQ(3600, ClockOffsetSeconds(Dated(2025, 1, 1, 1, 0, 1), newYear));
    EXPECT_EQ(-3600, ClockOffsetSeconds(Dated(2024, 12, 31, 23, 0, 1), newYear));
    // A leap day, and a camera restarted at its epoch after a power cut.
    EXPECT_EQ(86400, ClockOffsetSeconds(Dated(2024, 3, 1, 12, 0, 0), At(2024, 2, 29, 12, 0, 0)));
    EXPECT_EQ(-(55 * 365 + 14) * 86400LL, ClockOffsetSeconds(Dated(1970, 1, 1, 0, 0, 0), newYear - 10000000));

    // Without a date the nearest day counts: a few seconds, never a day off.
    EXPECT_EQ(-5, ClockOffsetSeconds(Undated(23, 59, 58), At(2025, 6, 2, 0, 0, 3)));
    EXPECT_EQ(3, ClockOffsetSeconds(Undated(0, 0, 2), At(2024, 12, 31, 23, 59, 59)));
    EXPECT_EQ(-3600, ClockOffsetSeconds(Undated(9, 30, 0), At(2025, 6, 2, 10, 30, 0)));

    for (const DeviceDateTime& impossible : {Dated(2025, 2, 29, 0, 0, 0), Dated(2025, 13, 1, 0, 0, 0),
                                             Dated(2025, 1, 0, 0, 0, 0), Undated(24, 0, 0), Undated(0, 60, 0)})
        EXPECT_FALSE(ClockOffsetSeconds(impossible, newYear));

    SYSTEMTIME shifted = ShiftedTime(At(2024, 12, 31, 23, 30, 0), 3600);
    EXPECT_EQ(At(2025, 1, 1, 0, 30, 0), ToFileTime(shifted));
    shifted = ShiftedTime(At(2025, 1, 1, 0, 30, 0), -3600);
    EXPECT_EQ(At(2024, 12, 31, 23, 30, 0), ToFileTime(shifted));
}

TEST(DeviceClock, ReadsTheAnswerAndIgnoresMalformedOnes)
{
    const auto full =
        ReadDeviceDateTime(Answer("<t:Time><t:Hour>23</t:Hour><t:Minute>59</t:Minute><t:Second>58</t:Second></t:Time>"
                                  "<t:Date><t:Year>2024</t:Year><t:Month>12</t:Month><t:Day>31</t:Day></t:Date>"));
    ASSERT_TRUE(full);
    EXPECT_EQ(-3, ClockOffsetSeconds(*full, At(2025, 1, 1, 0, 0, 1)));

    const auto timeOnly =
        ReadDeviceDateTime(Answer("<t:Time><t:Hour> 7</t:Hour><t:Minute>5</t:Minute><t:Second>0</t:Second></t:Time>"));
    ASSERT_TRUE(timeOnly);
    EXPECT_FALSE(timeOnly->hasDate);
    EXPECT_EQ(7u * 3600 + 5 * 60, timeOnly->hour * 3600 + timeOnly->minute * 60 + timeOnly->second);

    for (const std::string& broken :
         {Answer("<t:Time><t:Hour>7</t:Hour><t:Minute>5</t:Minute></t:Time>"),
          Answer("<t:Time><t:Hour>7</t:Hour><t:Minute>5a</t:Minute><t:Second>0</t:Second></t:Time>"),
          Answer("<t:Time><t:Hour>-7</t:Hour><t:Minute>5</t:Minute><t:Second>0</t:Second></t:Time>"),
          Answer("<t:Time><t:Hour>7</t:Hour><t:Minute>5</t:Minute><t:Second>99999999999</t:Second></t:Time>"),
          Answer("<t:Time><t:Hour>7</t:Hour><t:Minute>5</t:Minute><t:Second>0</t:Second></t:Time>"
                 "<t:Date><t:Year>2025</t:Year></t:Date>"),
          Answer(""), std::string("<a>"), std::string()})
        EXPECT_FALSE(ReadDeviceDateTime(broken)) << broken;
}

TEST(DeviceClock, OffsetsAreKeptPerDeviceAndAnnouncedOnce)
{
    DeviceClockOffsets table;
    EXPECT_EQ(0, table.Get("10.0.0.1:80"));
    table.Set("10.0.0.1:80", -3600);
    EXPECT_EQ(-3600, table.Get("10.0.0.1:80"));
    EXPECT_EQ(0, table.Get("10.0.0.1:8080"));
    EXPECT_TRUE(table.ClaimAnnouncement("10.0.0.1:80"));
    EXPECT_FALSE(table.ClaimAnnouncement("10.0.0.1:80"));
    EXPECT_TRUE(table.ClaimAnnouncement("10.0.0.2:80"));
}
