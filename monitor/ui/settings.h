// The monitor's own keys of Settings/Settings.ini (the link's keys of
// section "SerialComm" belong to the request engine, the backup keys to
// the database manager).
//
// Every value read is checked: a value that is not a number, or is out of
// its range, is replaced by its default, so a settings file full of junk
// still starts the program with its defaults.
#pragma once

#include <string>

namespace kv90::app {

constexpr int kDefaultLoggerAddress = 251;

struct TViewSettings {
  int WindowState = 0;           // "WindowSate": 0 normal, 1 minimised, 2 maximised
  int ValuesPanelHeight = -1;    // -1: 45 % of the on-line page
  int ValuesPanelPos = 0;        // first device shown, 0..15
  bool ShowSplitter = false;
};

struct TMonitorSettings {
  std::string Lang = "Czech.lng";
  int LoggerAddress = kDefaultLoggerAddress;  // 1..255
  bool MoveBackupFiles = false;
  TViewSettings View;
  std::string ExportDir;  // empty: the program folder

  // Reads the file; missing or junk values give the defaults.
  static TMonitorSettings Load(const std::string& path);
  // Writes Application/Lang, SerialComm/DloggAddress, OnLineDB/MoveBackupFiles.
  bool SaveAcquisition(const std::string& path) const;
  bool SaveView(const std::string& path) const;
};

}  // namespace kv90::app
