// The value-computing commands: "Mathematics", "Parse String",
// "Replace String", "Convert Case", "Extract Path", "Evaluate Expression".
// Each reads its record, computes on text and writes one or two variables;
// none fails except through a conversion error (a non-number where a count
// is needed), which ends the script as a runtime error.
#include <algorithm>

#include "engine/script/commands.h"
#include "engine/script/errors.h"
#include "platform/base/text.h"
#include "platform/machine/winpath.h"

namespace engine {

std::string ErrorMessage(ErrorId id, std::string_view arg) {
  for (const ErrorText& e : kErrorTexts)
    if (e.id == id) return base::ReplaceAll(e.text, "%1", arg);
  return "Unknown error";
}

std::string CommandContext::Expanded(int n) const {
  std::string p = Param(n);
  if (p.find('#') != std::string::npos) p = ExpandCompilerVariables(p, script.compilerVariables.Items());
  return vars.Expand(p);
}

std::string CommandContext::ExpandedPath(int n) const {
  std::string p = Param(n);
  if (p.find('#') != std::string::npos) p = ExpandCompilerVariables(p, script.compilerVariables.Items());
  return vars.ExpandPath(p);
}

std::string CommandContext::TranslatedWithKey(int n, std::string_view key, int position) const {
  std::string v = Expanded(n);
  if (!translate || !*translate || vars.Get("LANGUAGE").empty()) return v;
  if (auto t = (*translate)(key, position)) return vars.Expand(*t);
  return v;
}

std::string CommandContext::Translated(int n, int position) const {
  return TranslatedWithKey(n, Param(0), position);
}

void CommandContext::SetResult(std::string_view var, std::string_view value) const {
  if (var.empty()) return;
  if (!vars.Exists(var)) vars.Define(base::UpperCase(var), "", Source());
  vars.Set(var, value, Source());
}

namespace {

// Byte offset of the n-th character (UTF-8), clamped to the text.
std::size_t CharOffset(std::string_view s, long long n) {
  if (n <= 0) return 0;
  std::size_t i = 0;
  long long k = 0;
  while (i < s.size() && k < n) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    ++k;
  }
  return i;
}
long long CharCount(std::string_view s) {
  long long k = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++k;
  return k;
}

long long CountParam(const std::string& text) {
  auto v = base::ParseInt(text);
  if (!v) throw ScriptError(ErrorId::kNotInteger, text);
  return *v;
}

}  // namespace

void RunMathematics(CommandContext& c) {
  auto r = Mathematics(c.Expanded(1), c.Expanded(2), c.Param(3), c.math);
  c.SetResult(c.Param(4), r ? *r : std::string());
}

void RunEvaluateExpression(CommandContext& c) {
  std::string expr = c.Param(1);
  if (expr.find('#') != std::string::npos) expr = ExpandCompilerVariables(expr, c.script.compilerVariables.Items());
  c.SetResult(c.Param(2), EvaluateExpression(c.vars.ExpandQuoted(expr)));
}

void RunParseString(CommandContext& c) {
  const std::string s = c.ExpandedPath(1);
  const std::string d = c.ExpandedPath(2);
  const std::string mode = c.Param(5);
  const bool trim = base::IsTrueText(c.Param(6));
  const bool ignoreCase = base::IsTrueText(c.Param(7));
  const std::string hay = ignoreCase ? base::LowerCase(s) : s;
  const std::string needle = ignoreCase ? base::LowerCase(d) : d;
  std::string left, right;
  if (mode == "0" || mode == "1") {
    std::size_t at = needle.empty() ? std::string::npos : (mode == "0" ? hay.find(needle) : hay.rfind(needle));
    if (at == std::string::npos || hay.size() != s.size()) {
      if (mode == "0") left = s; else right = s;
    } else {
      left = s.substr(0, at);
      right = s.substr(at + needle.size());
    }
  } else if (mode == "2" || mode == "3") {
    long long n = std::clamp<long long>(CountParam(d), 0, CharCount(s));
    std::size_t cut = CharOffset(s, mode == "2" ? n : CharCount(s) - n);
    left = s.substr(0, cut);
    right = s.substr(cut);
  } else {
    left = s;
  }
  if (trim) {
    left = base::Trim(left);
    right = base::Trim(right);
  }
  c.SetResult(c.Param(3), left);
  c.SetResult(c.Param(4), right);
}

void RunReplaceString(CommandContext& c) {
  const std::string var = Variables::StripReference(c.Param(1));
  const std::string find = EncodeNewlines(c.Expanded(2));
  const std::string repl = EncodeNewlines(c.Expanded(3));
  const bool ignoreCase = base::IsTrueText(c.Param(4));
  const bool all = base::IsTrueText(c.Param(5));
  std::string value = c.vars.Get(var);
  if (!find.empty()) {
    if (all) {
      value = ignoreCase ? base::ReplaceText(value, find, repl) : base::ReplaceAll(value, find, repl);
    } else {
      std::size_t at = ignoreCase ? base::LowerCase(value).find(base::LowerCase(find)) : value.find(find);
      if (at != std::string::npos) value.replace(at, find.size(), repl);
    }
  }
  c.SetResult(var, value);
}

void RunConvertCase(CommandContext& c) {
  const std::string var = c.Param(1);
  std::string v = c.vars.ExpandPath(c.vars.Get(var));
  c.SetResult(var, base::IsTrueText(c.Param(2)) ? base::UpperCase(v) : base::LowerCase(v));
}

void RunExtractPath(CommandContext& c) {
  const std::string var = c.Param(1);
  const std::string v = c.vars.ExpandPath(c.vars.Get(var));
  const std::string code = c.Param(2);
  std::string out = v;
  if (code == "0") {
    out = machine::ExtractFileName(v);
  } else if (code == "1") {
    std::string name = machine::ExtractFileName(v);
    out = name.substr(0, name.size() - machine::ExtractFileExt(name).size());
  } else if (code == "2") {
    std::string ext = machine::ExtractFileExt(v);
    out = ext.empty() ? ext : ext.substr(1);
  } else if (code == "3") {
    out = machine::IncludeTrailingBackslash(machine::ExtractFilePath(v));
  } else if (code == "4") {
    std::string folder = machine::ExtractFilePath(v);
    out = machine::IncludeTrailingBackslash(machine::ExtractFilePath(machine::ExcludeTrailingBackslash(folder)));
  } else if (code == "5") {
    if (machine::DriveLetter(v)) {
      out = v.substr(0, 2) + "\\";
    } else if (machine::IsUncPath(v)) {
      // the server and share part, with a trailing backslash
      std::size_t p = v.find_first_of("\\/", 2);
      p = p == std::string::npos ? std::string::npos : v.find_first_of("\\/", p + 1);
      out = machine::IncludeTrailingBackslash(p == std::string::npos ? v : v.substr(0, p));
    } else {
      out.clear();
    }
  } else if (code == "6") {
    out = v;  // the doubled backslashes are already single after path expansion
  }
  c.SetResult(var, out);
}

}  // namespace engine
