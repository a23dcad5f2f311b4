// Text helpers shared by both programs.
//
// Inside the programs all text is UTF-8 in std::string.  Conversions to the
// "ANSI" code page (Windows-1252) and to UTF-16LE happen only where bytes
// cross a file boundary.  Comparisons "without regard to case" fold ASCII and
// the Latin-1 letters of Windows-1252, which is what the stored files use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// --- case -------------------------------------------------------------------
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);  // <0, 0, >0
// Case-insensitive hash consistent with SameText.
std::size_t TextHash(std::string_view s);
struct TextHasher { std::size_t operator()(std::string_view s) const { return TextHash(s); } };
struct TextEqual { bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); } };

// --- trimming, splitting ------------------------------------------------------
std::string Trim(std::string_view s);       // blanks and control chars both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
bool StartsText(std::string_view prefix, std::string_view s);  // case-insensitive
bool EndsText(std::string_view suffix, std::string_view s);
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);
std::string ReplaceText(std::string_view s, std::string_view from, std::string_view to);  // case-insensitive
std::vector<std::string> Split(std::string_view s, char sep);
// Splits at CR LF, lone LF or lone CR; a final line ending adds no empty line.
std::vector<std::string> SplitLines(std::string_view s);

// --- numbers ------------------------------------------------------------------
// Whole-string integer parse (optional sign, decimal digits; surrounding blanks allowed).
std::optional<long long> ParseInt(std::string_view s);
long long StrToIntDef(std::string_view s, long long def);
// Floating-point parse with the given decimal separator ('.' accepted too).
std::optional<double> ParseFloat(std::string_view s, char decimalSeparator = '.');
double StrToFloatDef(std::string_view s, double def, char decimalSeparator = '.');
std::string IntToStr(long long v);
// Shortest text that reads back to the same double, with the given separator
// (the way the original programs print doubles: "12.5", "100", "1E-5").
std::string FloatToStr(double v, char decimalSeparator = '.');
// Fixed number of decimals, rounding half to even on the decimal value shown.
std::string FormatFixed(double v, int decimals, char decimalSeparator = '.');
// Half-to-even rounding at the given number of decimals.
double RoundHalfEven(double v, int decimals);

// --- booleans as the engine writes them ---------------------------------------
// True is "TRUE" in any case or "-1".
bool IsTrueText(std::string_view s);
inline const char* BoolText(bool b) { return b ? "TRUE" : "FALSE"; }

// --- encodings ------------------------------------------------------------------
// Windows-1252 bytes -> UTF-8.  Bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D map to U+0081 etc.
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 -> Windows-1252; characters that have no byte become '?'.
// Invalid UTF-8 bytes are taken as Windows-1252 bytes (so a file that was
// already ANSI passes through unchanged).
std::string Utf8ToCp1252(std::string_view utf8);
// UTF-8 -> UTF-16LE bytes (no byte-order mark); surrogate pairs above U+FFFF.
std::string Utf8ToUtf16LE(std::string_view utf8);
std::string Utf16LEToUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view s);
// Appends one code point as UTF-8; surrogates and values past U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// --- comma text -------------------------------------------------------------------
// Items containing a blank, a comma, a quote or a control character (or empty
// items) are double-quoted, inner quotes doubled.  Reading splits at commas
// and at blanks outside quotes, as the class library's comma text does.
std::string ToCommaText(const std::vector<std::string>& items);
std::vector<std::string> FromCommaText(std::string_view text);

// --- GUIDs ------------------------------------------------------------------------
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, random.
std::string NewGuid();
bool IsGuid(std::string_view s);  // braces required, hex digits in any case

}  // namespace base
