// INI files: parse once, keep the lines (comments included), rewrite whole.
#include "platform/base/ini_file.h"

#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/text.h"

namespace base {

TMemIniFile::TMemIniFile(std::string hostPath, IniEncoding enc) : path_(std::move(hostPath)), enc_(enc) { Reload(); }

void TMemIniFile::Reload() {
  preamble_.clear();
  sections_.clear();
  loaded_ = false;
  if (path_.empty()) return;
  auto bytes = ReadFileBytes(path_);
  if (!bytes) return;
  loaded_ = true;
  std::string_view raw = *bytes;
  std::string text;
  if (enc_ == IniEncoding::Utf8) {
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
    // A language file saved in the ANSI code page by an old editor still reads.
    text = IsValidUtf8(raw) ? std::string(raw) : Cp1252ToUtf8(raw);
  } else {
    text = Cp1252ToUtf8(raw);
  }
  SetText(text);
  loaded_ = true;
}

void TMemIniFile::SetText(std::string_view utf8Text) {
  preamble_.clear();
  sections_.clear();
  for (const std::string& rawLine : SplitLines(utf8Text)) {
    std::string t = Trim(rawLine);
    if (!t.empty() && t.front() == '[') {
      auto close = t.find(']');
      std::string name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      sections_.push_back(Section{name, {}});
      continue;
    }
    Line line{"", "", false, rawLine};
    if (!t.empty() && t.front() != ';' && t.front() != '#') {
      auto eq = rawLine.find('=');
      if (eq != std::string::npos) {
        line.key = Trim(rawLine.substr(0, eq));
        line.value = rawLine.substr(eq + 1);
        // Values are verbatim apart from surrounding blanks; a value
        // wholly in double quotes loses its quotes, as the system's reader does.
        line.value = Trim(line.value);
        if (line.value.size() >= 2 && line.value.front() == '"' && line.value.back() == '"')
          line.value = line.value.substr(1, line.value.size() - 2);
        line.isPair = !line.key.empty();
      }
    }
    (sections_.empty() ? preamble_ : sections_.back().lines).push_back(std::move(line));
  }
}

std::string TMemIniFile::Text() const {
  std::string out;
  for (const auto& l : preamble_) out += l.raw + "\r\n";
  for (const auto& s : sections_) {
    out += "[" + s.name + "]\r\n";
    for (const auto& l : s.lines) {
      if (l.isPair) out += l.key + "=" + l.value + "\r\n";
      else out += l.raw + "\r\n";
    }
  }
  return out;
}

TMemIniFile::Section* TMemIniFile::Find(std::string_view section) {
  for (auto& s : sections_) if (SameText(s.name, section)) return &s;
  return nullptr;
}
const TMemIniFile::Section* TMemIniFile::Find(std::string_view section) const {
  for (const auto& s : sections_) if (SameText(s.name, section)) return &s;
  return nullptr;
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  if (const Section* s = Find(section)) {
    for (const auto& l : s->lines) if (l.isPair && SameText(l.key, key)) return l.value;
  }
  return std::string(def);
}

long long TMemIniFile::ReadInteger(std::string_view section, std::string_view key, long long def) const {
  std::string v = ReadString(section, key, "");
  if (v.size() > 1 && v[0] == '$') {  // hexadecimal as the class library writes it
    try {
      std::size_t used = 0;
      long long h = std::stoll(v.substr(1), &used, 16);
      if (used == v.size() - 1) return h;
    } catch (...) {
    }
    return def;
  }
  return StrToIntDef(v, def);
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  std::string v = Trim(ReadString(section, key, ""));
  if (v.empty()) return def;
  if (SameText(v, "TRUE")) return true;
  if (SameText(v, "FALSE")) return false;
  auto n = ParseInt(v);
  return n ? *n != 0 : def;
}

double TMemIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const {
  std::string v = ReadString(section, key, "");
  auto d = ParseFloat(v, DefaultFormatSettings().decimalSeparator);
  return d ? *d : def;
}

void TMemIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = Find(section);
  if (!s) {
    sections_.push_back(Section{std::string(section), {}});
    s = &sections_.back();
  }
  for (auto& l : s->lines) {
    if (l.isPair && SameText(l.key, key)) {
      l.value = std::string(value);
      return;
    }
  }
  // New keys go after the last pair, before trailing blank lines.
  auto pos = s->lines.end();
  while (pos != s->lines.begin() && !std::prev(pos)->isPair && Trim(std::prev(pos)->raw).empty()) --pos;
  s->lines.insert(pos, Line{std::string(key), std::string(value), true, ""});
}

void TMemIniFile::WriteInteger(std::string_view section, std::string_view key, long long value) {
  WriteString(section, key, IntToStr(value));
}
void TMemIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}
void TMemIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  WriteString(section, key, FloatToStr(value, DefaultFormatSettings().decimalSeparator));
}

bool TMemIniFile::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view section, std::string_view key) const {
  if (const Section* s = Find(section)) {
    for (const auto& l : s->lines) if (l.isPair && SameText(l.key, key)) return true;
  }
  return false;
}

std::vector<std::string> TMemIniFile::ReadSections() const {
  std::vector<std::string> out;
  for (const auto& s : sections_) out.push_back(s.name);
  return out;
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = Find(section)) {
    for (const auto& l : s->lines) if (l.isPair) out.push_back(l.key);
  }
  return out;
}

std::vector<std::string> TMemIniFile::ReadSectionValues(std::string_view section) const {
  std::vector<std::string> out;
  if (const Section* s = Find(section)) {
    for (const auto& l : s->lines) if (l.isPair) out.push_back(l.key + "=" + l.value);
  }
  return out;
}

void TMemIniFile::EraseSection(std::string_view section) {
  for (auto it = sections_.begin(); it != sections_.end();) {
    if (SameText(it->name, section)) it = sections_.erase(it);
    else ++it;
  }
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view key) {
  if (Section* s = Find(section)) {
    for (auto it = s->lines.begin(); it != s->lines.end();) {
      if (it->isPair && SameText(it->key, key)) it = s->lines.erase(it);
      else ++it;
    }
  }
}

bool TMemIniFile::UpdateFile() const {
  std::string text = Text();
  std::string bytes = enc_ == IniEncoding::Utf8 ? text : Utf8ToCp1252(text);
  std::string dir = ExtractFileDir(path_);
  if (!dir.empty() && !DirectoryExists(dir)) ForceDirectories(dir);
  return WriteFileAtomic(path_, bytes);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  TMemIniFile::WriteString(section, key, value);
  lastWriteOk_ = UpdateFile();
}

void TIniFile::EraseSection(std::string_view section) {
  TMemIniFile::EraseSection(section);
  lastWriteOk_ = UpdateFile();
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
  TMemIniFile::DeleteKey(section, key);
  lastWriteOk_ = UpdateFile();
}

}  // namespace base
