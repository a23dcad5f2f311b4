// Where the monitor keeps its files.
//
// All files live in folders of one root: Settings, Data, DBBackup (and the
// lock of the running instance in Settings).  The root is, in this order:
//  1. the folder named by the environment variable KV90SW_HOME (demo, tests);
//  2. the program's own folder, when it is writable (a copied or built program);
//  3. a per-user folder, $XDG_DATA_HOME/Kv90Sw (default ~/.local/share/Kv90Sw),
//     when the program's folder is not writable (an installed program).
// Language files are read from <root>/Lang when that folder holds any
// ".lng" file, else from the program folder's Lang.
#pragma once

#include <string>

namespace kv90::app {

struct TAppPaths {
  std::string ProgramDir;  // folder of the executable
  std::string Root;        // folder of Settings, Data, DBBackup
  std::string LangDir;
  bool PerUser = false;    // the root is the per-user folder (3 above)

  std::string SettingsDir() const { return Root + "/Settings"; }
  std::string SettingsFile() const { return SettingsDir() + "/Settings.ini"; }
  std::string LogFile() const { return SettingsDir() + "/Log.txt"; }
  std::string LockFile() const { return SettingsDir() + "/Kv90Sw.lock"; }
  std::string DevSetFile(int k) const { return SettingsDir() + "/Dev_" + std::to_string(k) + ".set"; }
  std::string DataDir() const { return Root + "/Data"; }
  std::string OnlineDb() const { return DataDir() + "/data.dat"; }
  std::string OnlineRdc() const { return DataDir() + "/data.rdc"; }
  std::string BackupDir() const { return Root + "/DBBackup"; }
};

// True when a file can be created in the folder (it is created if missing).
bool FolderWritable(const std::string& dir);
// Resolves the folders for a program in programDir (rules above).
TAppPaths ResolvePaths(const std::string& programDir);
// The same for a given root (tests): ProgramDir = Root.
TAppPaths PathsForRoot(const std::string& root, const std::string& langDir = "");

}  // namespace kv90::app
