// The form-text parser: a hand-written scanner and recursive descent over
// objects, properties and values.  Plain C++, no Qt (the fuzzer builds it
// alone).
#include "platform/ui/form_text.h"

#include "platform/base/text.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace ui {

namespace {

using base::AppendUtf8;

bool SameWord(std::string_view a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return i == a.size() && !b[i];
}

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  TFormParseResult Run() {
    TFormParseResult r;
    SkipBlank();
    std::string word = Word();
    if (!(SameWord(word, "object") || SameWord(word, "inherited") || SameWord(word, "inline"))) {
      Fail("the form text does not begin with \"object\"");
    } else if (ParseObject(word, r.root, 0)) {
      SkipBlank();
      if (pos_ < s_.size()) Fail("text after the final \"end\"");
    }
    r.ok = error_.empty();
    r.error = error_;
    r.errorLine = errorLine_;
    if (!r.ok) r.root = TFormObject{};
    return r;
  }

 private:
  bool Fail(const std::string& msg) {
    if (error_.empty()) {
      errorLine_ = line_;
      error_ = "line " + std::to_string(line_) + ": " + msg;
    }
    return false;
  }

  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }

  void SkipBlank() {
    while (!AtEnd()) {
      char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (static_cast<unsigned char>(c) <= ' ') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
        while (!AtEnd() && s_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  static bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

  // An identifier, dotted parts included; empty if none here.
  std::string Word() {
    SkipBlank();
    std::size_t start = pos_;
    if (AtEnd() || !IdentStart(s_[pos_])) return {};
    while (!AtEnd() && (IdentChar(s_[pos_]) || (s_[pos_] == '.' && pos_ + 1 < s_.size() && IdentStart(s_[pos_ + 1]))))
      ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }

  bool Expect(char c, const std::string& what) {
    SkipBlank();
    if (Peek() != c) return Fail(std::string("expected ") + what);
    ++pos_;
    return true;
  }

  bool ParseObject(const std::string& keyword, TFormObject& obj, int depth) {
    if (depth >= kMaxFormDepth) return Fail("objects nested too deeply");
    obj.line = line_;
    obj.inherited = !SameWord(keyword, "object");
    std::string first = Word();
    if (first.empty()) return Fail("expected a component name or class name after \"" + keyword + "\"");
    SkipBlank();
    if (Peek() == ':') {
      ++pos_;
      obj.name = first;
      obj.className = Word();
      if (obj.className.empty() || SameWord(obj.className, "end") || SameWord(obj.className, "object"))
        return Fail("expected a class name after \"" + obj.name + ":\"");
    } else {
      obj.className = first;
    }
    SkipBlank();
    if (Peek() == '[') {  // creation index of inherited forms
      ++pos_;
      SkipBlank();
      while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
      if (!Expect(']', "\"]\" after the index")) return false;
    }
    for (;;) {
      SkipBlank();
      if (AtEnd()) return Fail("missing \"end\" of object " + (obj.name.empty() ? obj.className : obj.name));
      std::string w = Word();
      if (w.empty()) return Fail("expected a property name, \"object\" or \"end\"");
      if (SameWord(w, "end")) return true;
      SkipBlank();
      if ((SameWord(w, "object") || SameWord(w, "inherited") || SameWord(w, "inline")) && Peek() != '=') {
        obj.children.emplace_back();
        if (!ParseObject(w, obj.children.back(), depth + 1)) return false;
        continue;
      }
      TFormProperty p;
      p.name = w;
      p.line = line_;
      if (!Expect('=', "\"=\" after property " + w)) return false;
      if (!ParseValue(p.value, depth + 1)) return false;
      obj.props.push_back(std::move(p));
    }
  }

  // Quoted parts are input bytes (UTF-8, or Windows-1252 when the input is
  // not UTF-8); character codes are Unicode characters.
  void Flush(std::string& out, std::string& bytes) {
    out += utf8Input_ ? bytes : base::Cp1252ToUtf8(bytes);
    bytes.clear();
  }

  bool ParseStringParts(std::string& out, std::string& bytes, bool& any) {
    // Quoted parts and #nnn characters, written next to one another.
    for (;;) {
      char c = Peek();
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (AtEnd() || s_[pos_] == '\n' || s_[pos_] == '\r') return Fail("unterminated string");
          if (s_[pos_] == '\'') {
            if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
              bytes += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          bytes += s_[pos_++];
        }
        any = true;
      } else if (c == '#') {
        ++pos_;
        std::uint32_t v = 0;
        int digits = 0;
        bool hex = Peek() == '$';
        if (hex) ++pos_;
        while (!AtEnd()) {
          char d = s_[pos_];
          int dv = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                   : hex && std::isxdigit(static_cast<unsigned char>(d)) ? std::tolower(d) - 'a' + 10 : -1;
          if (dv < 0) break;
          if (v < 0x200000) v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(dv);
          ++digits;
          ++pos_;
        }
        if (!digits) return Fail("expected a character code after \"#\"");
        Flush(out, bytes);
        AppendUtf8(out, v);
        any = true;
      } else {
        return true;
      }
    }
  }

  bool ParseValue(TFormValue& v, int depth) {
    if (depth >= kMaxFormDepth) return Fail("values nested too deeply");
    SkipBlank();
    char c = Peek();
    if (c == '\'' || c == '#') {
      v.kind = TFormValue::String;
      std::string bytes;
      for (;;) {
        bool any = false;
        if (!ParseStringParts(v.text, bytes, any)) return false;
        if (!any) return Fail("expected a string after \"+\"");
        SkipBlank();
        if (Peek() != '+') break;
        ++pos_;
        SkipBlank();
      }
      Flush(v.text, bytes);
      return true;
    }
    if (c == '-' || c == '+' || c == '$' || std::isdigit(static_cast<unsigned char>(c))) return ParseNumber(v);
    if (IdentStart(c)) {
      v.kind = TFormValue::Ident;
      v.text = Word();
      return true;
    }
    if (c == '[') {
      ++pos_;
      v.kind = TFormValue::Set;
      SkipBlank();
      if (Peek() == ']') {
        ++pos_;
        return true;
      }
      for (;;) {
        SkipBlank();
        std::string w;
        if (std::isdigit(static_cast<unsigned char>(Peek()))) {  // sets of numbers
          std::size_t st = pos_;
          while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
          w = std::string(s_.substr(st, pos_ - st));
        } else {
          w = Word();
        }
        if (w.empty()) return Fail("expected a set element");
        v.set.push_back(w);
        SkipBlank();
        if (Peek() == ',') { ++pos_; continue; }
        if (Peek() == ']') { ++pos_; return true; }
        return Fail("expected \",\" or \"]\" in a set");
      }
    }
    if (c == '(') {
      ++pos_;
      v.kind = TFormValue::List;
      for (;;) {
        SkipBlank();
        if (AtEnd()) return Fail("missing \")\" of a list");
        if (Peek() == ')') { ++pos_; return true; }
        v.list.emplace_back();
        if (!ParseValue(v.list.back(), depth + 1)) return false;
      }
    }
    if (c == '{') {
      ++pos_;
      v.kind = TFormValue::Binary;
      int nibble = -1;
      for (;;) {
        SkipBlank();
        if (AtEnd()) return Fail("missing \"}\" of binary data");
        char d = s_[pos_++];
        if (d == '}') break;
        if (!std::isxdigit(static_cast<unsigned char>(d))) return Fail("binary data holds a character that is no hex digit");
        int dv = std::isdigit(static_cast<unsigned char>(d)) ? d - '0' : std::tolower(d) - 'a' + 10;
        if (nibble < 0) nibble = dv;
        else { v.text += static_cast<char>(nibble * 16 + dv); nibble = -1; }
      }
      if (nibble >= 0) return Fail("binary data has an odd number of hex digits");
      return true;
    }
    if (c == '<') {
      ++pos_;
      v.kind = TFormValue::Collection;
      for (;;) {
        SkipBlank();
        if (AtEnd()) return Fail("missing \">\" of a collection");
        if (Peek() == '>') { ++pos_; return true; }
        std::string w = Word();
        if (!SameWord(w, "item")) return Fail("expected \"item\" or \">\" in a collection");
        SkipBlank();
        if (Peek() == '[') {  // item [n]
          ++pos_;
          while (!AtEnd() && Peek() != ']' && Peek() != '\n') ++pos_;
          if (!Expect(']', "\"]\" after the item index")) return false;
        }
        TFormItem item;
        for (;;) {
          std::string pn = Word();
          if (pn.empty()) return Fail("expected a property name or \"end\" in a collection item");
          if (SameWord(pn, "end")) break;
          TFormProperty p;
          p.name = pn;
          p.line = line_;
          if (!Expect('=', "\"=\" after property " + pn)) return false;
          if (!ParseValue(p.value, depth + 1)) return false;
          item.props.push_back(std::move(p));
        }
        v.items.push_back(std::move(item));
      }
    }
    if (AtEnd()) return Fail("missing value at the end of the text");
    return Fail(std::string("unexpected character '") + c + "' where a value should be");
  }

  bool ParseNumber(TFormValue& v) {
    std::size_t start = pos_;
    if (Peek() == '-' || Peek() == '+') ++pos_;
    if (Peek() == '$') {
      ++pos_;
      std::size_t hs = pos_;
      while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(Peek()))) ++pos_;
      if (pos_ == hs || pos_ - hs > 16) return Fail("bad hexadecimal number");
      v.kind = TFormValue::Integer;
      std::uint64_t u = std::strtoull(std::string(s_.substr(hs, pos_ - hs)).c_str(), nullptr, 16);
      v.integer = static_cast<long long>(u);
      if (s_[start] == '-') v.integer = -v.integer;
      v.text = std::string(s_.substr(start, pos_ - start));
      return true;
    }
    std::size_t ds = pos_;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
    bool isFloat = false;
    if (Peek() == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1]))) {
      isFloat = true;
      ++pos_;
      while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
    }
    if (pos_ == ds) return Fail("expected a number");
    if (Peek() == 'e' || Peek() == 'E') {
      std::size_t save = pos_;
      ++pos_;
      if (Peek() == '-' || Peek() == '+') ++pos_;
      std::size_t es = pos_;
      while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) ++pos_;
      if (pos_ == es) pos_ = save;
      else isFloat = true;
    }
    v.text = std::string(s_.substr(start, pos_ - start));
    if (isFloat) {
      v.kind = TFormValue::Float;
      return true;
    }
    if (pos_ - ds > 18) return Fail("number too large");
    v.kind = TFormValue::Integer;
    v.integer = std::strtoll(v.text.c_str(), nullptr, 10);
    return true;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
  int errorLine_ = 0;

 public:
  bool utf8Input_ = true;
};

}  // namespace

TFormParseResult ParseFormText(std::string_view text) {
  Parser p(text);
  p.utf8Input_ = base::IsValidUtf8(text);
  return p.Run();
}

std::string FormValueText(const TFormValue& v) {
  switch (v.kind) {
    case TFormValue::String:
    case TFormValue::Ident:
    case TFormValue::Float:
    case TFormValue::Binary: return v.text;
    case TFormValue::Integer: return std::to_string(v.integer);
    case TFormValue::Set: {
      std::string r = "[";
      for (std::size_t i = 0; i < v.set.size(); ++i) r += (i ? "," : "") + v.set[i];
      return r + "]";
    }
    default: return {};
  }
}

}  // namespace ui
