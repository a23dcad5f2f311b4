// Date-time doubles: days since 30 December 1899 00:00, the fraction being the
// time of day (so 1.5 is 31 Dec 1899 12:00).  Durations are day fractions.
// Negative values follow the class library's rule: the integer part counts
// days before the epoch, the fraction is still the time of day (its absolute value).
//
// Format settings carry the separators and the "system" short date and long
// time formats; the machine profile of the setup engine and the monitor's
// locale fill the process-wide defaults.
#pragma once

#include <string>
#include <string_view>

namespace base {

using TDateTime = double;

constexpr double kMsPerDay = 86400000.0;
constexpr double kSecPerDay = 86400.0;
// Days between 1899-12-30 and 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

struct DateParts { int year = 1899, month = 12, day = 30; };
struct TimeParts { int hour = 0, minute = 0, second = 0, msec = 0; };

bool IsValidDate(int year, int month, int day);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Throws std::invalid_argument on an invalid date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec = 0);
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec, TDateTime& out);
DateParts DecodeDate(TDateTime dt);
TimeParts DecodeTime(TDateTime dt);  // rounded to the nearest millisecond
int DayOfWeek(TDateTime dt);          // 1 = Sunday ... 7 = Saturday

TDateTime Now();    // local time
TDateTime Date();   // local date, time 0
TDateTime UnixToDateTime(double unixSeconds);  // UTC seconds -> UTC date-time
double DateTimeToUnix(TDateTime dt);

struct TFormatSettings {
  char decimalSeparator = '.';
  char thousandSeparator = ',';
  char dateSeparator = '/';
  char timeSeparator = ':';
  std::string shortDateFormat = "M/d/yyyy";
  std::string longDateFormat = "dddd, MMMM d, yyyy";
  std::string shortTimeFormat = "h:mm AMPM";
  std::string longTimeFormat = "h:mm:ss AMPM";
  std::string timeAMString = "AM";
  std::string timePMString = "PM";
};

// Process-wide defaults ("the system's" settings).
TFormatSettings& DefaultFormatSettings();

// Class-library format strings: d dd ddd dddd m mm mmm mmmm (month; minutes
// after h/hh or before s), M MM MMM MMMM, yy yyyy, h hh n nn s ss z zzz,
// AM/PM am/pm a/p AMPM, '/' date separator, ':' time separator, "..." and
// '...' literals, c (short date + long time), ddddd (short date), tt (long time).
std::string FormatDateTime(std::string_view format, TDateTime dt, const TFormatSettings& fs = DefaultFormatSettings());
std::string DateToStr(TDateTime dt, const TFormatSettings& fs = DefaultFormatSettings());
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs = DefaultFormatSettings());
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs = DefaultFormatSettings());

}  // namespace base
