// Date-time doubles and the class-library date/time format strings.
#include "platform/base/datetime.h"

#include <cmath>
#include <ctime>
#include <stdexcept>
#include <sys/time.h>

#include "platform/base/text.h"

namespace base {
namespace {

constexpr int kCumDays[2][13] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
                                 {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

constexpr bool Leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 0001-01-01 to the given date (proleptic Gregorian), 0-based.
constexpr long long DaysFromCivil(int y, int m, int d) {
  long long yy = y - 1;
  return yy * 365 + yy / 4 - yy / 100 + yy / 400 + kCumDays[Leap(y)][m - 1] + d - 1;
}
// 0001-01-01 .. 1899-12-30; a compile-time constant, so that dates encoded
// by other files' static initialisers are right.
constexpr long long kEpochOffset = DaysFromCivil(1899, 12, 30);
static_assert(DaysFromCivil(2000, 1, 1) - kEpochOffset == 36526);

void CivilFromDays(long long n, int& y, int& m, int& d) {
  // n: days since 0001-01-01.
  long long n400 = n / 146097, r = n % 146097;
  long long n100 = r / 36524;
  if (n100 == 4) n100 = 3;
  r -= n100 * 36524;
  long long n4 = r / 1461;
  r %= 1461;
  long long n1 = r / 365;
  if (n1 == 4) n1 = 3;
  r -= n1 * 365;
  y = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  int leap = IsLeapYear(y);
  m = 1;
  while (m < 12 && r >= kCumDays[leap][m]) ++m;
  d = static_cast<int>(r - kCumDays[leap][m - 1] + 1);
}

void Split(TDateTime dt, long long& day, long long& msOfDay) {
  double days = std::trunc(dt);
  double frac = std::fabs(dt - days);
  msOfDay = std::llround(frac * kMsPerDay);
  day = static_cast<long long>(days);
  if (msOfDay >= 86400000) { msOfDay -= 86400000; day += dt < 0 ? -1 : 1; }
}

}  // namespace

bool IsLeapYear(int y) { return Leap(y); }

int DaysInMonth(int y, int m) {
  if (m < 1 || m > 12) return 0;
  return kCumDays[IsLeapYear(y)][m] - kCumDays[IsLeapYear(y)][m - 1];
}

bool IsValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

TDateTime EncodeDate(int y, int m, int d) {
  if (!IsValidDate(y, m, d)) throw std::invalid_argument("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(y, m, d) - kEpochOffset);
}

TDateTime EncodeTime(int h, int mi, int s, int ms) {
  if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59 || ms < 0 || ms > 999)
    throw std::invalid_argument("Invalid argument to time encode");
  return (h * 3600000.0 + mi * 60000.0 + s * 1000.0 + ms) / kMsPerDay;
}

TDateTime EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  TDateTime date = EncodeDate(y, mo, d);
  TDateTime t = EncodeTime(h, mi, s, ms);
  return date >= 0 ? date + t : date - t;
}

bool TryEncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms, TDateTime& out) {
  try {
    out = EncodeDateTime(y, mo, d, h, mi, s, ms);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

DateParts DecodeDate(TDateTime dt) {
  long long day, ms;
  Split(dt, day, ms);
  DateParts p;
  CivilFromDays(day + kEpochOffset, p.year, p.month, p.day);
  return p;
}

TimeParts DecodeTime(TDateTime dt) {
  long long day, ms;
  Split(dt, day, ms);
  TimeParts t;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.msec = static_cast<int>(ms % 1000);
  return t;
}

int DayOfWeek(TDateTime dt) {
  long long day, ms;
  Split(dt, day, ms);
  // 1899-12-30 was a Saturday (7).
  long long w = ((day % 7) + 7 + 6) % 7;  // 0 = Sunday
  return static_cast<int>(w) + 1;
}

TDateTime Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::time_t t = tv.tv_sec;
  std::tm lt{};
  localtime_r(&t, &lt);
  return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
         EncodeTime(lt.tm_hour, lt.tm_min, lt.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

TDateTime Date() { return std::floor(Now()); }

TDateTime UnixToDateTime(double unixSeconds) { return unixSeconds / kSecPerDay + kUnixEpochDays; }
double DateTimeToUnix(TDateTime dt) { return (dt - kUnixEpochDays) * kSecPerDay; }

TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings fs;
  return fs;
}

namespace {
const char* const kShortMonth[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonth[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDay[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDay[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string Pad2(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

void Format(std::string& out, std::string_view f, TDateTime dt, const TFormatSettings& fs, int depth) {
  if (depth > 2) return;
  DateParts d = DecodeDate(dt);
  TimeParts t = DecodeTime(dt);
  bool lastWasHour = false;
  // Does an AM/PM marker appear anywhere?  Then hours are 12-hour.
  std::string upper = UpperCase(f);
  bool twelve = upper.find("AM/PM") != std::string::npos || upper.find("A/P") != std::string::npos ||
                upper.find("AMPM") != std::string::npos;
  std::size_t i = 0;
  auto count = [&](char c) {
    std::size_t n = 0;
    while (i + n < f.size() && std::toupper(static_cast<unsigned char>(f[i + n])) == std::toupper(static_cast<unsigned char>(c))) ++n;
    return n;
  };
  auto minutesFollow = [&](std::size_t from) {
    // 'm' right after h/hh, or right before s/ss, means minutes.
    std::size_t k = from;
    while (k < f.size() && (f[k] == ' ' || f[k] == ':' || f[k] == '.')) ++k;
    return k < f.size() && (f[k] == 's' || f[k] == 'S');
  };
  while (i < f.size()) {
    char c = f[i];
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '"' || c == '\'') {
      std::size_t close = f.find(c, i + 1);
      if (close == std::string_view::npos) close = f.size();
      out.append(f.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    if (u == 'A') {
      std::string rest = UpperCase(f.substr(i, 5));
      bool pm = t.hour >= 12;
      if (rest.rfind("AM/PM", 0) == 0) {
        std::string_view src = f.substr(i, 5);
        bool lower = src[0] == 'a';
        out += lower ? (pm ? "pm" : "am") : (pm ? "PM" : "AM");
        i += 5;
        continue;
      }
      if (rest.rfind("A/P", 0) == 0) {
        bool lower = f[i] == 'a';
        out += lower ? (pm ? "p" : "a") : (pm ? "P" : "A");
        i += 3;
        continue;
      }
      if (rest.rfind("AMPM", 0) == 0) {
        out += pm ? fs.timePMString : fs.timeAMString;
        i += 4;
        continue;
      }
      out += c;
      ++i;
      continue;
    }
    switch (u) {
      case 'Y': {
        std::size_t n = count('y');
        if (n <= 2) out += Pad2(d.year % 100);
        else out += std::to_string(d.year);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'M': {
        std::size_t n = count('m');
        bool minutes = c == 'm' && n <= 2 && (lastWasHour || minutesFollow(i + n));
        if (c == 'M' || !minutes) {
          if (n == 1) out += std::to_string(d.month);
          else if (n == 2) out += Pad2(d.month);
          else if (n == 3) out += kShortMonth[d.month - 1];
          else out += kLongMonth[d.month - 1];
        } else {
          out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
        }
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'D': {
        std::size_t n = count('d');
        int w = DayOfWeek(dt) - 1;
        if (n == 1) out += std::to_string(d.day);
        else if (n == 2) out += Pad2(d.day);
        else if (n == 3) out += kShortDay[w];
        else if (n == 4) out += kLongDay[w];
        else if (n == 5) Format(out, fs.shortDateFormat, dt, fs, depth + 1);
        else Format(out, fs.longDateFormat, dt, fs, depth + 1);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'H': {
        std::size_t n = count('h');
        int h = t.hour;
        if (twelve) { h %= 12; if (h == 0) h = 12; }
        out += n == 1 ? std::to_string(h) : Pad2(h);
        i += n;
        lastWasHour = true;
        continue;
      }
      case 'N': {
        std::size_t n = count('n');
        out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'S': {
        std::size_t n = count('s');
        out += n == 1 ? std::to_string(t.second) : Pad2(t.second);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'Z': {
        std::size_t n = count('z');
        if (n == 1) out += std::to_string(t.msec);
        else {
          char buf[8];
          std::snprintf(buf, sizeof buf, "%03d", t.msec);
          out += buf;
        }
        i += n;
        continue;
      }
      case 'T': {
        std::size_t n = count('t');
        Format(out, n == 1 ? fs.shortTimeFormat : fs.longTimeFormat, dt, fs, depth + 1);
        i += n;
        continue;
      }
      case 'C': {
        Format(out, fs.shortDateFormat, dt, fs, depth + 1);
        if (t.hour || t.minute || t.second || t.msec) {
          out += ' ';
          Format(out, fs.longTimeFormat, dt, fs, depth + 1);
        }
        ++i;
        continue;
      }
      default:
        break;
    }
    if (c == '/') out += fs.dateSeparator;
    else if (c == ':') out += fs.timeSeparator;
    else out += c;
    ++i;
  }
}
}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime dt, const TFormatSettings& fs) {
  std::string out;
  if (format.empty()) format = "c";
  Format(out, format, dt, fs, 0);
  return out;
}

std::string DateToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime(fs.shortDateFormat, dt, fs); }
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime(fs.longTimeFormat, dt, fs); }
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs) { return FormatDateTime("c", dt, fs); }

}  // namespace base
