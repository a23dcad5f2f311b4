#include "monitor/ui/settings.h"

#include "monitor/ui/language.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace kv90::app {
namespace {

int ReadRange(const base::TMemIniFile& ini, const char* sec, const char* key, int lo, int hi, int def) {
  auto v = base::ParseInt(ini.ReadString(sec, key, ""));
  if (!v || *v < lo || *v > hi) return def;
  return static_cast<int>(*v);
}

bool ReadFlag(const base::TMemIniFile& ini, const char* sec, const char* key, bool def) {
  std::string t = base::Trim(ini.ReadString(sec, key, ""));
  if (t == "1" || base::SameText(t, "true")) return true;
  if (t == "0" || base::SameText(t, "false")) return false;
  return def;
}

}  // namespace

TMonitorSettings TMonitorSettings::Load(const std::string& path) {
  base::TMemIniFile ini(path);
  TMonitorSettings s;
  s.Lang = LanguageNameFromSettings(path);
  s.LoggerAddress = ReadRange(ini, "SerialComm", "DloggAddress", 1, 255, kDefaultLoggerAddress);
  s.MoveBackupFiles = ReadFlag(ini, "OnLineDB", "MoveBackupFiles", false);
  s.View.WindowState = ReadRange(ini, "View", "WindowSate", 0, 2, 0);
  s.View.ValuesPanelHeight = ReadRange(ini, "View", "ValuesPanelHeight", 40, 10000, -1);
  s.View.ValuesPanelPos = ReadRange(ini, "View", "ValuesPanelPos", 0, 15, 0);
  s.View.ShowSplitter = ReadFlag(ini, "View", "ShowSplitter", false);
  s.ExportDir = ini.ReadString("Export", "ExportDir", "");
  return s;
}

bool TMonitorSettings::SaveAcquisition(const std::string& path) const {
  base::TMemIniFile ini(path);
  ini.WriteBool("OnLineDB", "MoveBackupFiles", MoveBackupFiles);
  ini.WriteInteger("SerialComm", "DloggAddress", LoggerAddress);
  ini.WriteString("Application", "Lang", Lang);
  return ini.UpdateFile();
}

bool TMonitorSettings::SaveView(const std::string& path) const {
  base::TMemIniFile ini(path);
  ini.WriteInteger("View", "WindowSate", View.WindowState);
  if (View.ValuesPanelHeight > 0) ini.WriteInteger("View", "ValuesPanelHeight", View.ValuesPanelHeight);
  ini.WriteInteger("View", "ValuesPanelPos", View.ValuesPanelPos);
  ini.WriteBool("View", "ShowSplitter", View.ShowSplitter);
  return ini.UpdateFile();
}

}  // namespace kv90::app
