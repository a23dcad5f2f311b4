// Choices file reading and writing (see choices_file.h).
#include "engine/startup/choices_file.h"

#include "engine/script/variables.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/winpath.h"

namespace engine {

std::string EncodeFileLine(std::string_view value) {
  std::string t = EncodeNewlines(value);
  if (t.find_first_of("\r\n") == std::string::npos) return t;
  t = base::ReplaceAll(t, "\r", "$NEWLINE$");
  return base::ReplaceAll(t, "\n", "$NEWLINE$");
}

namespace {

constexpr const char* kDollarItem = "$DOLLAR$";

std::string EncodeItem(const std::string& item) { return item == "$" ? std::string(kDollarItem) : EncodeFileLine(item); }
std::string DecodeItem(const std::string& line) {
  return base::SameText(line, kDollarItem) ? std::string("$") : DecodeNewlines(line);
}

bool UsableName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '$') return false;
  return true;
}

void AddLines(std::string& out, const base::TStringList& list) {
  for (const std::string& item : list) out += EncodeItem(item) + "\r\n";
  out += "$\r\n";
}

// The text after the six lists.
std::string FormatTail(const ChoicesData& d) {
  std::string out;
  out += EncodeFileLine(d.targetDir.value_or("")) + "\r\n";
  out += EncodeFileLine(d.allUsers.value_or("")) + "\r\n";
  out += EncodeFileLine(d.startMenu.value_or("")) + "\r\n";
  out += EncodeFileLine(d.dataFolder.value_or("")) + "\r\n";
  for (const auto& [name, value] : d.pairs) out += EncodeFileLine(name) + "\r\n" + EncodeFileLine(value) + "\r\n";
  return out;
}

// Number of lines taken by the six lists, or -1 when they are incomplete.
int ListLines(const std::vector<std::string>& lines) {
  int terminators = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == "$" && ++terminators == 6) return static_cast<int>(i) + 1;
  return -1;
}

}  // namespace

ChoicesData ParseChoices(std::string_view ansiBytes) {
  ChoicesData d;
  const std::vector<std::string> lines = base::SplitLines(base::Cp1252ToUtf8(ansiBytes));
  const int listEnd = ListLines(lines);
  if (listEnd < 0) return d;  // truncated or a terminator missing: nothing is trusted
  d.hasLists = true;
  base::TStringList* lists[] = {&d.names, &d.states, &d.deleted, &d.hidden, &d.locked, &d.sizes};
  int which = 0;
  for (int i = 0; i < listEnd; ++i) {
    if (lines[i] == "$") {
      ++which;
      continue;
    }
    lists[which]->Add(DecodeItem(lines[i]));
  }
  // One state per name; a size table of pairs.
  while (d.states.Count() > d.names.Count()) d.states.Delete(d.states.Count() - 1);
  while (d.states.Count() < d.names.Count()) d.states.Add("FALSE");
  if (d.sizes.Count() % 2) d.sizes.Delete(d.sizes.Count() - 1);

  std::size_t k = static_cast<std::size_t>(listEnd);
  auto next = [&]() -> std::optional<std::string> {
    if (k >= lines.size()) return std::nullopt;
    return DecodeNewlines(lines[k++]);
  };
  d.targetDir = next();
  d.allUsers = next();
  d.startMenu = next();
  d.dataFolder = next();
  while (k + 1 < lines.size()) {
    std::string name = DecodeNewlines(lines[k]), value = DecodeNewlines(lines[k + 1]);
    k += 2;
    if (UsableName(name)) d.pairs.emplace_back(std::move(name), std::move(value));
  }
  return d;
}

std::optional<ChoicesData> ReadChoicesFile(const std::string& hostPath) {
  if (hostPath.empty() || !base::FileExists(hostPath)) return std::nullopt;
  auto bytes = base::ReadFileBytes(hostPath);
  if (!bytes) return std::nullopt;
  return ParseChoices(*bytes);
}

std::string FormatChoices(const ChoicesData& d) {
  std::string out;
  for (const base::TStringList* list : {&d.names, &d.states, &d.deleted, &d.hidden, &d.locked, &d.sizes})
    AddLines(out, *list);
  return out + FormatTail(d);
}

bool WriteChoicesFile(const std::string& hostPath, const ChoicesData& data) {
  if (hostPath.empty()) return false;
  return base::WriteFileAtomic(hostPath, base::Utf8ToCp1252(FormatChoices(data)));
}

bool UpdateChoicesFile(const std::string& hostPath, const ChoicesData& data) {
  if (hostPath.empty()) return false;
  std::optional<std::string> old = base::FileExists(hostPath) ? base::ReadFileBytes(hostPath) : std::nullopt;
  if (old) {
    const std::vector<std::string> lines = base::SplitLines(base::Cp1252ToUtf8(*old));
    const int listEnd = ListLines(lines);
    if (listEnd >= 0) {
      std::string out;
      for (int i = 0; i < listEnd; ++i) out += lines[i] + "\r\n";
      return base::WriteFileAtomic(hostPath, base::Utf8ToCp1252(out + FormatTail(data)));
    }
  }
  return WriteChoicesFile(hostPath, data);
}

std::string DataFolderLine(const std::string& windowsFolder) {
  if (windowsFolder.empty()) return {};
  std::string f = windowsFolder;
  for (char& c : f)
    if (c == '/') c = '\\';
  return machine::IncludeTrailingBackslash(machine::ExcludeTrailingBackslash(f));
}

}  // namespace engine
