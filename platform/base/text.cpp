// Text helpers: case folding, numbers, code pages, comma text, GUIDs.
#include "platform/base/text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace base {
namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F.  The five holes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when invalid.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) { cp = b; return 1; }
  std::size_t len;
  char32_t min;
  if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
  else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
  else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// Case folding for the letters a Windows-1252 text can hold: ASCII, Latin-1
// (U+00C0..U+00FE except the multiplication/division signs) and the few
// Latin Extended letters of the 0x80 block (Š Œ Ž Ÿ).
char32_t FoldUpper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c == 0x161 || c == 0x153 || c == 0x17E) return c - 1;
  return c;
}
char32_t FoldLower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c == 0x160 || c == 0x152 || c == 0x17D) return c + 1;
  return c;
}

template <typename F>
std::string MapCase(std::string_view s, F fold) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t n = DecodeUtf8(s, i, cp);
    if (n == 0) { out += s[i]; ++i; continue; }
    if (n == 1) { out += static_cast<char>(fold(cp)); ++i; continue; }
    AppendUtf8(out, fold(cp));
    i += n;
  }
  return out;
}

// Next folded code point of s at i (invalid bytes stand for themselves).
char32_t NextFolded(std::string_view s, std::size_t& i) {
  char32_t cp;
  std::size_t n = DecodeUtf8(s, i, cp);
  if (n == 0) { cp = static_cast<unsigned char>(s[i]); n = 1; }
  i += n;
  return FoldUpper(cp);
}

bool IsBlank(unsigned char c) { return c <= ' '; }

}  // namespace

std::string UpperCase(std::string_view s) { return MapCase(s, FoldUpper); }
std::string LowerCase(std::string_view s) { return MapCase(s, FoldLower); }

int CompareText(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = NextFolded(a, i), y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool SameText(std::string_view a, std::string_view b) {
  // Fast path for plain ASCII of different length.
  return CompareText(a, b) == 0;
}

std::size_t TextHash(std::string_view s) {
  std::size_t h = 1469598103934665603ull;  // FNV-1a over folded code points
  for (std::size_t i = 0; i < s.size();) {
    char32_t c = NextFolded(s, i);
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(static_cast<unsigned char>(s[i]))) ++i;
  return std::string(s.substr(i));
}
std::string TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && IsBlank(static_cast<unsigned char>(s[n - 1]))) --n;
  return std::string(s.substr(0, n));
}
std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

bool StartsText(std::string_view prefix, std::string_view s) {
  if (prefix.size() > s.size()) return false;
  return SameText(prefix, s.substr(0, prefix.size()));
}
bool EndsText(std::string_view suffix, std::string_view s) {
  if (suffix.size() > s.size()) return false;
  return SameText(suffix, s.substr(s.size() - suffix.size()));
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::string ReplaceText(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (i + from.size() <= s.size() && SameText(s.substr(i, from.size()), from)) {
      out.append(to);
      i += from.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}

std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = s.find(sep, pos);
    if (hit == std::string_view::npos) { out.emplace_back(s.substr(pos)); break; }
    out.emplace_back(s.substr(pos, hit - pos));
    pos = hit + 1;
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      out.emplace_back(s.substr(start, i - start));
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < s.size()) out.emplace_back(s.substr(start));
  return out;
}

std::optional<long long> ParseInt(std::string_view s) {
  std::string t = Trim(s);
  if (t.empty()) return std::nullopt;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+') ++b;
  long long v = 0;
  auto r = std::from_chars(b, e, v, 10);
  if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
  return v;
}

long long StrToIntDef(std::string_view s, long long def) {
  auto v = ParseInt(s);
  return v ? *v : def;
}

std::optional<double> ParseFloat(std::string_view s, char decimalSeparator) {
  std::string t = Trim(s);
  if (t.empty()) return std::nullopt;
  for (char& c : t) {
    if (c == decimalSeparator) c = '.';
  }
  // Only digits, one point, sign, exponent: no hex, no inf/nan words.
  for (char c : t) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return std::nullopt;
  }
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+') ++b;
  double v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
  return v;
}

double StrToFloatDef(std::string_view s, double def, char decimalSeparator) {
  auto v = ParseFloat(s, decimalSeparator);
  return v ? *v : def;
}

std::string IntToStr(long long v) { return std::to_string(v); }

std::string FloatToStr(double v, char decimalSeparator) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  // 15 significant digits, as the class library prints a double; exponent
  // form only for very large or very small magnitudes.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  std::string s = buf;
  auto epos = s.find('E');
  if (epos != std::string::npos) {
    // "1E-05" -> "1E-5"
    std::string mant = s.substr(0, epos);
    std::string ex = s.substr(epos + 1);
    char sign = '+';
    if (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) { sign = ex[0]; ex.erase(0, 1); }
    while (ex.size() > 1 && ex[0] == '0') ex.erase(0, 1);
    s = mant + "E" + (sign == '-' ? "-" : "") + ex;
  }
  if (decimalSeparator != '.') {
    for (char& c : s) if (c == '.') c = decimalSeparator;
  }
  return s;
}

double RoundHalfEven(double v, int decimals) {
  if (!std::isfinite(v)) return v;
  // A value within a few ulps of a half is a tie: 2.675 is stored as
  // 2.67499999..., but the user sees and means 2.675.
  double p = std::pow(10.0, decimals);
  double scaled = v * p;
  double fl = std::floor(scaled);
  double diff = scaled - fl;
  // Treat differences within a few ulps of one half as a tie.
  double eps = std::fabs(scaled) * 4 * 2.220446049250313e-16 + 1e-12;
  double r;
  if (std::fabs(diff - 0.5) <= eps) {
    r = (std::fmod(fl, 2.0) == 0.0) ? fl : fl + 1.0;
  } else {
    r = std::round(scaled);
  }
  return r / p;
}

std::string FormatFixed(double v, int decimals, char decimalSeparator) {
  if (decimals < 0) decimals = 0;
  double r = RoundHalfEven(v, decimals);
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
  std::string s = buf;
  if (s == "-0" || (s.rfind("-0.", 0) == 0 && s.find_first_not_of("-0.") == std::string::npos)) s.erase(0, 1);
  if (decimalSeparator != '.') {
    for (char& c : s) if (c == '.') c = decimalSeparator;
  }
  return s;
}

bool IsTrueText(std::string_view s) { return SameText(s, "TRUE") || s == "-1"; }

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (unsigned char b : bytes) {
    if (b < 0x80) out += static_cast<char>(b);
    else if (b < 0xA0) AppendUtf8(out, kCp1252High[b - 0x80]);
    else AppendUtf8(out, b);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    std::size_t n = DecodeUtf8(utf8, i, cp);
    if (n == 0) { out += utf8[i]; ++i; continue; }
    i += n;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) { out += static_cast<char>(cp); continue; }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == cp) { mapped = static_cast<char>(0x80 + k); break; }
    }
    out += mapped;
  }
  return out;
}

std::string Utf8ToUtf16LE(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char16_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp;
    std::size_t n = DecodeUtf8(utf8, i, cp);
    if (n == 0) {  // stray byte: take it as Windows-1252
      auto b = static_cast<unsigned char>(utf8[i]);
      cp = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16LEToUtf8(std::string_view bytes) {
  std::string out;
  std::size_t n = bytes.size() / 2;
  auto at = [&](std::size_t k) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  };
  for (std::size_t k = 0; k < n; ++k) {
    char32_t u = at(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      char32_t lo = at(k + 1);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        ++k;
      } else {
        u = 0xFFFD;
      }
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp;
    std::size_t n = DecodeUtf8(s, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string ToCommaText(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k) out += ',';
    const std::string& it = items[k];
    bool quote = it.empty();
    for (unsigned char c : it) {
      if (c <= ' ' || c == ',' || c == '"') { quote = true; break; }
    }
    if (!quote) { out += it; continue; }
    out += '"';
    for (char c : it) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<std::string> FromCommaText(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0, n = text.size();
  auto skipBlanks = [&] { while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i; };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') { item += '"'; i += 2; continue; }
          ++i;
          break;
        }
        item += text[i++];
      }
      // Anything glued to the closing quote belongs to the same item.
      while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ') item += text[i++];
    } else {
      while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ') item += text[i++];
    }
    out.push_back(std::move(item));
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
      if (i >= n) out.emplace_back();  // trailing comma: one more, empty item
    }
  }
  return out;
}

std::string NewGuid() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::uint64_t a = rng(), b = rng();
  // Version 4, variant 10.
  a = (a & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;
  b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012llX}",
                static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                static_cast<unsigned>(a & 0xFFFF), static_cast<unsigned>(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

bool IsGuid(std::string_view s) {
  if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    char c = s[i];
    bool dash = (i == 9 || i == 14 || i == 19 || i == 24);
    if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace base
