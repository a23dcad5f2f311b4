#include <gtest/gtest.h>

#include "platform/base/datetime.h"

using namespace base;

TEST(DateTime, EncodesKnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixEpochDays);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0), 0.5);
  EXPECT_THROW(EncodeDate(2023, 2, 29), std::invalid_argument);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
  EXPECT_THROW(EncodeTime(24, 0, 0), std::invalid_argument);
}

TEST(DateTime, DecodeRoundTripsAcrossCenturiesAndBeforeTheEpoch) {
  const int years[] = {1, 1600, 1899, 1900, 2000, 2024, 2100, 9999};
  for (int y : years) {
    for (int m : {1, 2, 12}) {
      int d = DaysInMonth(y, m);
      TDateTime dt = EncodeDateTime(y, m, d, 23, 59, 58, 999);
      DateParts p = DecodeDate(dt);
      TimeParts t = DecodeTime(dt);
      EXPECT_EQ(p.year, y);
      EXPECT_EQ(p.month, m);
      EXPECT_EQ(p.day, d);
      EXPECT_EQ(t.hour, 23);
      EXPECT_EQ(t.minute, 59);
      EXPECT_EQ(t.second, 58);
      EXPECT_EQ(t.msec, 999) << y;
    }
  }
  // -1.25: 29 Dec 1899, 06:00 (the fraction is the time of day).
  TimeParts t = DecodeTime(-1.25);
  EXPECT_EQ(t.hour, 6);
  EXPECT_EQ(DecodeDate(-1.25).day, 29);
}

TEST(DateTime, FormatTable) {
  TFormatSettings fs;
  fs.dateSeparator = '.';
  fs.timeSeparator = ':';
  fs.shortDateFormat = "d.M.yyyy";
  fs.longTimeFormat = "H:mm:ss";
  TDateTime dt = EncodeDateTime(2026, 3, 7, 14, 5, 9, 42);
  struct Case { const char* fmt; const char* out; };
  const Case cases[] = {
      {"yyyymmdd", "20260307"},
      {"yyyymmddhhnnss", "20260307140509"},
      {"dd/mm/yyyy hh:nn:ss", "07.03.2026 14:05:09"},
      {"hh:mm", "14:05"},              // m after h means minutes
      {"mm:ss", "05:09"},              // m before s means minutes
      {"d mmm yy", "7 Mar 26"},
      {"dddd", "Saturday"},
      {"h:nn AM/PM", "2:05 PM"},
      {"zzz", "042"},
      {"'Day' d", "Day 7"},
      {"c", "7.3.2026 14:05:09"},
      {"ddddd", "7.3.2026"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.fmt, dt, fs), c.out) << c.fmt;
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 3, 7), fs), "7.3.2026");
}

TEST(DateTime, UnixConversion) {
  EXPECT_DOUBLE_EQ(DateTimeToUnix(EncodeDate(1970, 1, 2)), 86400.0);
  EXPECT_DOUBLE_EQ(UnixToDateTime(0), kUnixEpochDays);
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 10)), 5);  // Thursday
}
