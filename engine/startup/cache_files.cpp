// Instance record, property log and language file (see cache_files.h).
#include "engine/startup/cache_files.h"

#include <filesystem>

#include "engine/script/variables.h"
#include "engine/startup/choices_file.h"
#include "platform/base/files.h"
#include "platform/base/text.h"

namespace engine {

namespace {
std::optional<std::vector<std::string>> ReadLines(const std::string& hostPath) {
  if (hostPath.empty() || !base::FileExists(hostPath)) return std::nullopt;
  auto bytes = base::ReadFileBytes(hostPath);
  if (!bytes) return std::nullopt;
  return base::SplitLines(base::Cp1252ToUtf8(*bytes));
}

bool WriteLines(const std::string& hostPath, const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return !hostPath.empty() && base::WriteFileAtomic(hostPath, base::Utf8ToCp1252(out));
}
}  // namespace

bool ReadInstanceRecord(const std::string& hostPath, InstanceRecord& record) {
  auto lines = ReadLines(hostPath);
  if (!lines) return false;
  std::string* fields[] = {&record.productCode, &record.revisionCode, &record.title};
  for (std::size_t i = 0; i < 3 && i < lines->size(); ++i) {
    std::string v = base::Trim((*lines)[i]);
    if (!v.empty()) *fields[i] = v;
  }
  return true;
}

bool WriteInstanceRecord(const std::string& hostPath, const InstanceRecord& r) {
  return WriteLines(hostPath, {EncodeFileLine(r.productCode), EncodeFileLine(r.revisionCode), EncodeFileLine(r.title)});
}

bool ReadPropertyLog(const std::string& hostPath, std::vector<std::pair<std::string, std::string>>& log) {
  auto lines = ReadLines(hostPath);
  if (!lines) return false;
  for (std::size_t i = 0; i + 1 < lines->size(); i += 2)
    if (!(*lines)[i].empty()) log.emplace_back((*lines)[i], DecodeNewlines((*lines)[i + 1]));
  return true;
}

bool WritePropertyLog(const std::string& hostPath, const std::vector<std::pair<std::string, std::string>>& log) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : log) {
    if (name.empty()) continue;
    lines.push_back(EncodeFileLine(name));
    lines.push_back(EncodeFileLine(value));
  }
  return WriteLines(hostPath, lines);
}

std::string ReadLanguageFile(const std::string& hostPath) {
  auto lines = ReadLines(hostPath);
  return lines && !lines->empty() ? base::Trim(lines->front()) : std::string();
}

bool WriteLanguageFile(const std::string& hostPath, const std::string& language) {
  if (language.empty()) {
    std::error_code ec;
    std::filesystem::remove(hostPath, ec);
    return !ec;
  }
  return WriteLines(hostPath, {EncodeFileLine(language)});
}

}  // namespace engine
