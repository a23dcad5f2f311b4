// Language texts of the monitor.
//
// Every text the user reads comes from the chosen language file in the
// program's Lang folder (UTF-8 INI).  This file is the one catalogue of the
// message keys: code names a message by its Msg value, never by a literal,
// and MsgKey() gives the key under which the language file holds it.
//
// Rules:
//  1. A missing file, section or key gives an empty text; nothing is shown
//     for it (the status line then simply stays empty).
//  2. Format strings come from a file the user may edit, so they are never
//     handed to printf: FormatText() substitutes %d, %s, %u (with optional
//     flags and width, which are ignored) and %% itself, takes the
//     arguments in order, and a specifier without an argument becomes empty
//     text.  No language file can crash the program or read past its
//     arguments.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kv90::app {

// The message keys of section "Messages", in file order.
enum class Msg {
  Seconds, Minits, InputBackupPathFileName, SaveBackupFilter, InputExportFileName, SaveExportFilter,
  InputImportFileName, Axis, AppWasRun, AppWasClose, DlogWasNotDetect, DLogWasDetect, DLogCommError,
  DlogNotConfigured, DlogCommWasEndWith, DloggMemReading, ExportToCSV, ExportToCSVWasEnd,
  ExportFileNameIsNotValid, ExportFromOnlineDBFromToWasStart, ExportDataToFile, ExportWasEnd,
  EnterStartDateTimeOfExport, EnterStopDateTimeOfExport, ImportDataFromFileWasStart, ImportDataWasEnd,
  ImportFileNameIsNotValid, ImportFileIsInUseByOtherApplication, ImportFileIsNotCorrect, ImportingRecord,
  ImportToOffLineDBWasEnd, ImportRdRecord, CreateNewDBWith, DBBackuping, DBRestore, AutomaticDBBackupWasEnd,
  ManualDBBackupWasEnd, UnknownDBBackupWasEnd, FileIsInUseByOtherApplication, RamToRecordConversion,
  SaveRecordsToOffLineDB, CommWasNotOpen, CommWasOpen, CommReadIntervalIsShort, ErrorOnSaveDevConfigWith,
  ErrorOnWriteLogWith, ErrorOnWriteDiskFull, ErrorOnCloseFile, ErrorOnCreatingCfgFileForOffLineGraphWith,
  ErrorOnRdCfgFileForOffLineGraphWith, ErrorOnRdInfoFromDBWith, ErrorOnImportFromCSV,
  ErrorOnSaveDefaultCfgForOffLineGraphInRDCFile, ErrorInRdFromImportFile, ErrorOnSaveCfgForOffLineGraphInRDCFile,
  ErrorOnUpdatingCfgForOffLineGraphInRDCFile, ErrorOnRdCfgFileName,
  Count
};

constexpr int kMsgCount = static_cast<int>(Msg::Count);
// "msg_Seconds" ... as written in the language file.
const char* MsgKey(Msg m);

constexpr const char* kDefaultLanguage = "Czech.lng";
constexpr const char* kMessagesSection = "Messages";

// Substitutes the arguments into a format text (rules above).
std::string FormatText(std::string_view format, const std::vector<std::string>& args);

class TLanguage {
 public:
  // Reads every section of the file.  False (and all texts empty) when the
  // file does not exist or cannot be read.
  bool LoadFile(const std::string& path);
  // Reads only section "Messages" (the rest keeps its present texts).
  bool LoadMessages(const std::string& path);

  const std::string& Text(Msg m) const { return messages_[static_cast<std::size_t>(m)]; }
  std::string Format(Msg m, const std::vector<std::string>& args) const { return FormatText(Text(m), args); }
  // Any key of any section; empty when missing.
  std::string Caption(std::string_view section, std::string_view key) const;
  const std::string& FileName() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> messages_ = std::vector<std::string>(kMsgCount);
  std::map<std::string, std::string> captions_;  // "section\nkey" folded to lower case
};

// Names of all "*.lng" files of the folder (with the extension), sorted.
std::vector<std::string> ListLanguages(const std::string& langDir);

// The language file named by Application/Lang of the settings file
// (default "Czech.lng"), inside langDir.  A name with a path separator or
// ".." is refused and the default is taken, so a settings file cannot send
// the program to read files elsewhere.
std::string LanguageFileFor(const std::string& settingsPath, const std::string& langDir);
std::string LanguageNameFromSettings(const std::string& settingsPath);

}  // namespace kv90::app
