#include "monitor/storage/date_parse.h"

#include <cctype>
#include <string>

#include "platform/base/text.h"

namespace kv90::storage {
namespace {

const char* const kShortMonth[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonth[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};

bool Digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool Alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool ParseDateTimeText(std::string_view text, std::string_view f, const base::TFormatSettings& fs,
                       base::TDateTime& out) {
  int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = 0, msec = 0;
  int pm = -1;  // -1 no marker, 0 AM, 1 PM
  std::size_t i = 0, p = 0;
  bool lastWasHour = false;
  auto count = [&](char c) {
    std::size_t n = 0;
    while (i + n < f.size() && std::toupper(static_cast<unsigned char>(f[i + n])) == c) ++n;
    return n;
  };
  auto number = [&](std::size_t maxDigits, int& v) {
    std::size_t start = p;
    v = 0;
    while (p < text.size() && p - start < maxDigits && Digit(text[p])) v = v * 10 + (text[p++] - '0');
    return p > start;
  };
  auto skipWord = [&] {
    std::size_t start = p;
    while (p < text.size() && (Alpha(text[p]) || static_cast<unsigned char>(text[p]) >= 0x80)) ++p;
    return p > start;
  };
  auto minutesFollow = [&](std::size_t from) {
    std::size_t k = from;
    while (k < f.size() && (f[k] == ' ' || f[k] == ':' || f[k] == '.')) ++k;
    return k < f.size() && (f[k] == 's' || f[k] == 'S');
  };
  while (i < f.size()) {
    const char c = f[i];
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '"' || c == '\'') {
      std::size_t close = f.find(c, i + 1);
      if (close == std::string_view::npos) close = f.size();
      std::string_view lit = f.substr(i + 1, close - i - 1);
      if (text.substr(p, lit.size()) != lit) return false;
      p += lit.size();
      i = close + 1;
      continue;
    }
    if (u == 'A') {
      std::string rest = base::UpperCase(f.substr(i, 5));
      std::size_t len = rest.rfind("AM/PM", 0) == 0 ? 5 : rest.rfind("AMPM", 0) == 0 ? 4 : rest.rfind("A/P", 0) == 0 ? 3 : 0;
      if (len) {
        std::size_t start = p;
        skipWord();
        std::string word(text.substr(start, p - start));
        if (base::SameText(word, fs.timePMString) || base::SameText(word, "PM") || base::SameText(word, "P")) pm = 1;
        else if (base::SameText(word, fs.timeAMString) || base::SameText(word, "AM") || base::SameText(word, "A")) pm = 0;
        else return false;
        i += len;
        continue;
      }
    }
    int v = 0;
    switch (u) {
      case 'Y': {
        std::size_t n = count('Y');
        if (!number(n <= 2 ? 2 : 4, v)) return false;
        year = n <= 2 && v < 100 ? (v < 50 ? 2000 + v : 1900 + v) : v;
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'M': {
        std::size_t n = count('M');
        bool minutes = c == 'm' && n <= 2 && (lastWasHour || minutesFollow(i + n));
        if (minutes) {
          if (!number(2, minute)) return false;
        } else if (n <= 2) {
          if (!number(2, month)) return false;
        } else {
          std::size_t start = p;
          skipWord();
          std::string word(text.substr(start, p - start));
          month = -1;
          for (int m = 0; m < 12; ++m)
            if (base::SameText(word, kShortMonth[m]) || base::SameText(word, kLongMonth[m])) month = m + 1;
          if (month < 0) return false;
        }
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'D': {
        std::size_t n = count('D');
        if (n <= 2) {
          if (!number(2, day)) return false;
        } else if (n <= 4) {
          skipWord();  // day name carries nothing the number does not
        } else {
          return false;
        }
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'H':
        i += count('H');
        if (!number(2, hour)) return false;
        lastWasHour = true;
        continue;
      case 'N':
        i += count('N');
        if (!number(2, minute)) return false;
        lastWasHour = false;
        continue;
      case 'S':
        i += count('S');
        if (!number(2, second)) return false;
        lastWasHour = false;
        continue;
      case 'Z':
        i += count('Z');
        if (!number(3, msec)) return false;
        continue;
      default:
        break;
    }
    char want = c == '/' ? fs.dateSeparator : c == ':' ? fs.timeSeparator : c;
    if (p >= text.size() || text[p] != want) {
      if (want != ' ') return false;  // blanks are optional
    } else {
      ++p;
    }
    ++i;
  }
  while (p < text.size() && text[p] == ' ') ++p;
  if (p != text.size()) return false;
  const bool hasDate = year >= 0 || month >= 0 || day >= 0;
  const bool hasTime = hour >= 0 || minute >= 0;
  if (!hasDate && !hasTime) return false;
  double result = 0;
  if (hasDate) {
    if (year < 0 || month < 0 || day < 0 || !base::IsValidDate(year, month, day)) return false;
    result = base::EncodeDate(year, month, day);
  }
  if (hasTime) {
    if (hour < 0) return false;
    if (minute < 0) minute = 0;
    if (pm >= 0) {
      if (hour < 1 || hour > 12) return false;
      hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59 || msec > 999) return false;
    result += base::EncodeTime(hour, minute, second, msec);
  }
  out = result;
  return true;
}

}  // namespace kv90::storage
