// Archiving the on-line database when the logger is reconfigured.
//
// The three files Data/data.dat, .sch and .rdc move to
// Data/YYYYMMDD/YYYYMMDD_NNN.* with the first NNN (000..999) whose .dat
// does not exist yet.  Moving is all or nothing: a file that cannot be
// renamed is copied and then removed, and when any step fails the files
// already moved are put back, so the records are always in exactly one
// place.  The backup files of the backup folder ("*bak", "*log") are moved
// to a sub-folder YYYYMMDDhhmmss or deleted.
#pragma once

#include <string>

namespace kv90::app {

struct TArchiveResult {
  bool Ok = false;
  std::string RdcPath;  // the archived .rdc (empty when there was none)
  std::string Error;    // the system's reason when !Ok
};

// dataPath: ".../data.dat"; `now` a date-time double.
TArchiveResult ArchiveOnlineDatabase(const std::string& dataPath, double now);
// MoveBackupFiles: move into <backupDir>/<YYYYMMDDhhmmss>; else delete.
void DisposeBackupFiles(const std::string& backupDir, bool move, double now);

}  // namespace kv90::app
