// Conditions, the expression language of "Evaluate Expression" and
// "Mathematics" (see expression.h).  Plain C++ on purpose: no Qt, no
// machine, so the fuzzer can build it alone.
//
// The expression grammar, read from the front with blanks skipped before
// each item:
//   expression := term { word term }      word: "and" | "or", left to right
//   term       := "(" expression ")" | comparison
//   comparison := string op string        op: = <> <= < >= >  (byte-wise)
//   string     := '"' { char | '""' } '"'
// Nesting deeper than kMaxNesting parentheses fails the term without
// consuming it, so a hostile text cannot exhaust the stack; the text left
// over then makes the result "ERROR".
#include "engine/script/expression.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/text.h"

namespace engine {
namespace {

constexpr int kMaxNesting = 256;

// Optional sign and decimal digits only; fits in [lo, hi].
std::optional<long long> StrictInt(std::string_view s, long long lo, long long hi) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size()) return std::nullopt;
  unsigned long long v = 0;
  const unsigned long long limit = neg ? static_cast<unsigned long long>(-(lo + 1)) + 1
                                       : static_cast<unsigned long long>(hi);
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    unsigned d = static_cast<unsigned>(c - '0');
    if (v > (limit - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  if (neg) return v == limit ? lo : -static_cast<long long>(v);
  return static_cast<long long>(v);
}

std::optional<long long> Int32(std::string_view s) {
  return StrictInt(s, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}
std::optional<long long> Int64(std::string_view s) {
  return StrictInt(s, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max());
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string AsciiLower(std::string_view s) {
  std::string o(s);
  for (char& c : o) c = AsciiLower(c);
  return o;
}

struct Version { long long part[4] = {0, 0, 0, 0}; };

Version ParseVersion(std::string_view v) {
  Version out;
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = v.find('.', start);
    parts.push_back(v.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  for (std::size_t k = 0; k < 4 && k < parts.size(); ++k) {
    auto n = Int64(parts[k]);
    bool followedByDot = k + 1 < parts.size();
    if (!n && followedByDot)
      throw std::invalid_argument("'" + std::string(parts[k]) + "' is not a valid integer value");
    out.part[k] = n ? *n : 0;
  }
  return out;
}

class ExprParser {
 public:
  enum Value { kTrue, kFalse, kFail };
  explicit ExprParser(std::string_view t) : t_(t) {}

  Value Expression(int depth) {
    Value v = Term(depth);
    if (v == kFail) return kFail;
    while (true) {
      SkipBlanks();
      if (p_ >= t_.size() || t_[p_] == ')') return v;
      std::string_view word = Word();
      Value w = Term(depth);
      if (w == kFail) return kFail;
      if (word == "and")
        v = (v == kTrue && w == kTrue) ? kTrue : kFalse;
      else if (word == "or")
        v = (v == kTrue || w == kTrue) ? kTrue : kFalse;
      else
        return kFail;
    }
  }
  bool LeftOver() const { return p_ < t_.size(); }

 private:
  void SkipBlanks() {
    while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\t')) ++p_;
  }
  // Characters up to the next blank or double quote.
  std::string_view Word() {
    std::size_t s = p_;
    while (p_ < t_.size() && t_[p_] != ' ' && t_[p_] != '\t' && t_[p_] != '"') ++p_;
    return t_.substr(s, p_ - s);
  }
  Value Term(int depth) {
    SkipBlanks();
    if (p_ >= t_.size()) return kFail;
    if (t_[p_] == '(') {
      if (depth >= kMaxNesting) return kFail;
      ++p_;
      Value v = Expression(depth + 1);
      // The closing ")" is consumed even after a failed inner expression.
      if (p_ < t_.size() && t_[p_] == ')') {
        ++p_;
        return v;
      }
      return kFail;
    }
    if (t_[p_] == '"') return Comparison();
    return kFail;
  }
  std::string String() {
    std::string out;
    ++p_;  // opening quote
    while (p_ < t_.size()) {
      char c = t_[p_++];
      if (c != '"') {
        out.push_back(c);
        continue;
      }
      if (p_ < t_.size() && t_[p_] == '"') {
        out.push_back('"');
        ++p_;
        continue;
      }
      break;
    }
    return out;
  }
  Value Comparison() {
    std::string a = String();
    SkipBlanks();
    std::string_view op = Word();
    SkipBlanks();
    if (p_ >= t_.size() || t_[p_] != '"') return kFail;
    std::string b = String();
    int c = a.compare(b);
    bool r;
    if (op == "=") r = c == 0;
    else if (op == "<>") r = c != 0;
    else if (op == "<=") r = c <= 0;
    else if (op == "<") r = c < 0;
    else if (op == ">=") r = c >= 0;
    else if (op == ">") r = c > 0;
    else return kFail;
    return r ? kTrue : kFalse;
  }

  std::string_view t_;
  std::size_t p_ = 0;
};

}  // namespace

bool VersionGreater(std::string_view a, std::string_view b) {
  Version va = ParseVersion(a), vb = ParseVersion(b);
  for (int k = 0; k < 4; ++k)
    if (va.part[k] != vb.part[k]) return va.part[k] > vb.part[k];
  return false;
}

bool CompareCondition(std::string_view code, std::string_view l, std::string_view r) {
  if (code == "6") return VersionGreater(l, r);
  bool known = code == "0" || code == "1" || code == "2" || code == "3" || code == "4";
  if (!known) return false;
  auto li = Int32(l), ri = Int32(r);
  if (li && ri) return code == "2" ? *li > *ri : *li == *ri;
  if (code == "0") return l == r;
  if (code == "1") return l.find(r) != std::string_view::npos;
  if (code == "2") return l.compare(r) > 0;
  if (code == "3") return AsciiLower(l).find(AsciiLower(r)) != std::string::npos;
  return AsciiLower(l) == AsciiLower(r);  // "4"
}

ExprOutcome EvaluateExpressionOutcome(std::string_view expr) {
  std::string wrapped;
  wrapped.reserve(expr.size() + 2);
  wrapped.push_back('(');
  wrapped.append(expr);
  wrapped.push_back(')');
  ExprParser parser(wrapped);
  ExprParser::Value v = parser.Expression(0);
  if (parser.LeftOver()) return ExprOutcome::Error;
  if (v == ExprParser::kFail) return ExprOutcome::Failed;
  return v == ExprParser::kTrue ? ExprOutcome::True : ExprOutcome::False;
}

std::string EvaluateExpression(std::string_view expr) {
  switch (EvaluateExpressionOutcome(expr)) {
    case ExprOutcome::True: return "TRUE";
    case ExprOutcome::False: return "FALSE";
    default: return "ERROR";  // text left over, or a failure that consumed it all
  }
}

bool CheckExpressionSyntax(std::string_view expr) {
  std::string t(expr);
  for (char& c : t)
    if (c == '$') c = '"';
  return EvaluateExpressionOutcome(t) != ExprOutcome::Error;
}

std::optional<std::string> Mathematics(std::string_view aText, std::string_view bText, std::string_view codeText,
                                       MathState& st) {
  auto code = Int32(codeText);
  if (!code) return std::nullopt;
  const int c = static_cast<int>(*code);
  if (c == 11) {
    if (aText.empty()) return std::nullopt;  // no first character
    // The ANSI code of the first character (text is UTF-8 inside).
    std::size_t len = 1;
    while (len < aText.size() && len < 4 && (static_cast<unsigned char>(aText[len]) & 0xC0) == 0x80) ++len;
    std::string ansi = base::Utf8ToCp1252(aText.substr(0, len));
    return std::to_string(ansi.empty() ? 0 : static_cast<unsigned char>(ansi[0]));
  }
  auto a = Int64(aText);
  if (!a) return std::nullopt;
  const long long A = *a;
  long long B = 0;
  if ((c >= 0 && c <= 9) || c == 13) {
    auto b = Int64(bText);
    if (!b) return std::nullopt;
    B = *b;
  }
  using U = unsigned long long;
  switch (c) {
    case 0: return std::to_string(static_cast<long long>(static_cast<U>(A) + static_cast<U>(B)));
    case 1: return std::to_string(static_cast<long long>(static_cast<U>(A) - static_cast<U>(B)));
    case 2: return std::to_string(static_cast<long long>(static_cast<U>(A) * static_cast<U>(B)));
    case 3:
      if (B == 0 || (A == std::numeric_limits<long long>::min() && B == -1)) return std::nullopt;
      return std::to_string(A / B);
    case 4:
      if (B == 0) return std::nullopt;
      if (B == -1) return std::string("0");
      return std::to_string(A % B);
    case 5: return std::to_string(A & B);
    case 6: return std::to_string(A | B);
    case 7: return std::to_string(A ^ B);
    case 8:
      if (B < 0 || B >= 64) return std::string("0");
      return std::to_string(static_cast<long long>(static_cast<U>(A) << B));
    case 9:
      if (B < 0 || B >= 64) return std::string("0");
      return std::to_string(static_cast<long long>(static_cast<U>(A) >> B));
    case 10: return std::to_string(~A);
    case 12: {
      char byte = static_cast<char>(A & 0xFF);
      return base::Cp1252ToUtf8(std::string_view(&byte, 1));
    }
    case 13:
      st.multiplier = static_cast<int>(static_cast<std::uint32_t>(A));
      st.increment = static_cast<int>(static_cast<std::uint32_t>(B));
      return std::to_string(static_cast<long long>(static_cast<U>(A) + static_cast<U>(B)));
    case 14:
      st.seed = static_cast<int>(static_cast<std::uint32_t>(A));
      return std::to_string(A);
    case 15: {
      if (A == 0) return std::nullopt;
      std::uint32_t x32 = static_cast<std::uint32_t>(st.multiplier) * static_cast<std::uint32_t>(st.seed) +
                          static_cast<std::uint32_t>(st.increment);
      int x = static_cast<int>(x32);
      st.seed = x % 32767;
      if (A == -1) return std::string("0");
      return std::to_string(static_cast<long long>(x) % A);
    }
    default: return std::nullopt;
  }
}

}  // namespace engine
