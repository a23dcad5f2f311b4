// Language files: loading, lookup and safe formatting.
#include "monitor/ui/language.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace kv90::app {
namespace {

constexpr std::array<const char*, kMsgCount> kKeys = {
    "msg_Seconds", "msg_Minits", "msg_InputBackupPathFileName", "msg_SaveBackupFilter", "msg_InputExportFileName",
    "msg_SaveExportFilter", "msg_InputImportFileName", "msg_Axis", "msg_AppWasRun", "msg_AppWasClose",
    "msg_DlogWasNotDetect", "msg_DLogWasDetect", "msg_DLogCommError", "msg_DlogNotConfigured",
    "msg_DlogCommWasEndWith", "msg_DloggMemReading", "msg_ExportToCSV", "msg_ExportToCSVWasEnd",
    "msg_ExportFileNameIsNotValid", "msg_ExportFromOnlineDBFromToWasStart", "msg_ExportDataToFile",
    "msg_ExportWasEnd", "msg_EnterStartDateTimeOfExport", "msg_EnterStopDateTimeOfExport",
    "msg_ImportDataFromFileWasStart", "msg_ImportDataWasEnd", "msg_ImportFileNameIsNotValid",
    "msg_ImportFileIsInUseByOtherApplication", "msg_ImportFileIsNotCorrect", "msg_ImportingRecord",
    "msg_ImportToOffLineDBWasEnd", "msg_ImportRdRecord", "msg_CreateNewDBWith", "msg_DBBackuping", "msg_DBRestore",
    "msg_AutomaticDBBackupWasEnd", "msg_ManualDBBackupWasEnd", "msg_UnknownDBBackupWasEnd",
    "msg_FileIsInUseByOtherApplication", "msg_RamToRecordConversion", "msg_SaveRecordsToOffLineDB",
    "msg_CommWasNotOpen", "msg_CommWasOpen", "msg_CommReadIntervalIsShort", "msg_ErrorOnSaveDevConfigWith",
    "msg_ErrorOnWriteLogWith", "msg_ErrorOnWriteDiskFull", "msg_ErrorOnCloseFile",
    "msg_ErrorOnCreatingCfgFileForOffLineGraphWith", "msg_ErrorOnRdCfgFileForOffLineGraphWith",
    "msg_ErrorOnRdInfoFromDBWith", "msg_ErrorOnImportFromCSV", "msg_ErrorOnSaveDefaultCfgForOffLineGraphInRDCFile",
    "msg_ErrorInRdFromImportFile", "msg_ErrorOnSaveCfgForOffLineGraphInRDCFile",
    "msg_ErrorOnUpdatingCfgForOffLineGraphInRDCFile", "msg_ErrorOnRdCfgFileName",
};

std::string CaptionKey(std::string_view section, std::string_view key) {
  return base::LowerCase(section) + "\n" + base::LowerCase(key);
}

}  // namespace

const char* MsgKey(Msg m) {
  auto i = static_cast<std::size_t>(m);
  return i < kKeys.size() ? kKeys[i] : "";
}

std::string FormatText(std::string_view f, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(f.size() + 16);
  std::size_t next = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') { out += f[i]; continue; }
    std::size_t j = i + 1;
    if (j < f.size() && f[j] == '%') { out += '%'; i = j; continue; }
    // flags, width, precision, and the class library's "index:" prefix
    while (j < f.size() && (std::isdigit(static_cast<unsigned char>(f[j])) || f[j] == '-' || f[j] == '.' ||
                            f[j] == ':' || f[j] == '+' || f[j] == ' '))
      ++j;
    if (j < f.size() && (f[j] == 'd' || f[j] == 's' || f[j] == 'u' || f[j] == 'D' || f[j] == 'S' || f[j] == 'U')) {
      if (next < args.size()) out += args[next];
      ++next;
      i = j;
    } else {
      out += '%';  // not a specifier: keep the text as it is
    }
  }
  return out;
}

bool TLanguage::LoadFile(const std::string& path) {
  path_ = path;
  captions_.clear();
  std::fill(messages_.begin(), messages_.end(), std::string());
  base::TMemIniFile ini(path, base::IniEncoding::Utf8);
  if (!ini.Loaded()) return false;
  for (const std::string& section : ini.ReadSections())
    for (const std::string& key : ini.ReadSection(section))
      captions_[CaptionKey(section, key)] = ini.ReadString(section, key, "");
  for (int i = 0; i < kMsgCount; ++i) messages_[static_cast<std::size_t>(i)] = ini.ReadString(kMessagesSection, kKeys[static_cast<std::size_t>(i)], "");
  return true;
}

bool TLanguage::LoadMessages(const std::string& path) {
  path_ = path;
  base::TMemIniFile ini(path, base::IniEncoding::Utf8);
  for (int i = 0; i < kMsgCount; ++i)
    messages_[static_cast<std::size_t>(i)] = ini.Loaded() ? ini.ReadString(kMessagesSection, kKeys[static_cast<std::size_t>(i)], "") : "";
  return ini.Loaded();
}

std::string TLanguage::Caption(std::string_view section, std::string_view key) const {
  auto it = captions_.find(CaptionKey(section, key));
  return it == captions_.end() ? std::string() : it->second;
}

std::vector<std::string> ListLanguages(const std::string& langDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(langDir, ec)) {
    if (!e.is_regular_file(ec)) continue;
    std::string n = e.path().filename().string();
    if (base::EndsText(".lng", n)) names.push_back(n);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return base::CompareText(a, b) < 0; });
  return names;
}

std::string LanguageNameFromSettings(const std::string& settingsPath) {
  base::TMemIniFile ini(settingsPath);
  std::string name = base::Trim(ini.ReadString("Application", "Lang", kDefaultLanguage));
  if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
      name.find("..") != std::string::npos)
    name = kDefaultLanguage;
  return name;
}

std::string LanguageFileFor(const std::string& settingsPath, const std::string& langDir) {
  return base::JoinPath(langDir, LanguageNameFromSettings(settingsPath));
}

}  // namespace kv90::app
