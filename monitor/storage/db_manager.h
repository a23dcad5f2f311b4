// TDB_Manager: backups of the on-line database, the backup log that lists
// the restore points, restore, and the automatic backup every few days.
//
// Backup types (setting BackupType of section "DB_Manager"):
//   2  every backup is a new pair "<name>_yyyy_MM_dd-hh_mm_ss.bak/.log"
//      holding a full copy; the restore points are the logs in the folder.
//   0  one backup file and one log that grow: every backup appends a full
//      copy; the restore points are the log's entries.
//   1  like 0, but after a first full copy each backup appends only the
//      records added since the previous one (differential); restoring an
//      entry joins the last full copy before it and the differentials up to it.
//
// Invariants:
//   1. A backup copies only records the index counts, and appends its log
//      entry only after the records are flushed, so every log entry
//      describes records that are in the backup file.
//   2. A restore builds the new data file and index beside the old ones,
//      checks them (records numbered 0, 1, ... as the entry's segments
//      say), flushes them and only then swaps both in one committed step
//      (TFRXDatabase::CommitReplacement).  A restore that fails on the way
//      leaves the database as it was.
//   3. DataBazeWait is true exactly while a backup or restore runs.
//
// The manager knows nothing of windows: the restore question goes through
// OnConfirmRestore, the check timer is a TCheckTimer that the owner may
// back with its event loop, and the clock can be replaced for tests.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/storage/backup_log.h"
#include "monitor/storage/file_ops.h"
#include "platform/base/datetime.h"

namespace kv90 {

enum class TDBManBackupType { Full = 0, Differential = 1, Stamped = 2 };

// The ten-minute check timer, narrowed to what the manager needs.  The
// default implementation does nothing on its own: Fire() runs a tick
// (tests, or an owner that drives the tick from its own timer).
class TCheckTimer {
 public:
  static constexpr int kIntervalMs = 600000;
  virtual ~TCheckTimer() = default;
  virtual void SetEnabled(bool on) { enabled_ = on; }
  bool Enabled() const { return enabled_; }
  int Interval() const { return kIntervalMs; }
  void Fire() {
    if (enabled_ && OnTimer) OnTimer();
  }
  std::function<void()> OnTimer;  // set by the manager

 protected:
  bool enabled_ = false;
};

struct TDBManagerTexts {
  std::string DifferentialBackup = "Rozdílová záloha databáze";
  std::string FullBackup = "Úplná záloha databáze";
  std::string RestoreQuestion = "Obnovou přepíšete stávající databázi. Chcete skutečně provést obnovu?";
  std::string Warning = "Varování";
};

class TDB_Manager {
 public:
  // `settingsFile`: the program's Settings.ini; `programFolder`: the base
  // of the default backup path; the database path and its channel count.
  TDB_Manager(std::string settingsFile, std::string programFolder, int channels, std::string databasePath,
              std::unique_ptr<TCheckTimer> timer = nullptr, storage::FileOps& ops = storage::FileOps::Real(),
              std::function<base::TDateTime()> clock = nullptr);

  const std::string& BackupFileName() const { return backupFileName_; }
  void SetBackupFileName(const std::string& path);  // the log name follows
  const std::string& LogFileName() const { return logFileName_; }
  TDBManBackupType BackupType() const { return type_; }
  void SetBackupType(TDBManBackupType t) { type_ = t; }
  int BackupInterval() const { return interval_; }
  void SetBackupInterval(int days);  // > 0 enables the check timer
  bool DataBazeWait() const { return wait_; }
  base::TDateTime LastBackupTime() const { return lastBackup_; }
  TCheckTimer& CheckTimer() { return *timer_; }

  // Called after every backup with its sender (the check timer for the
  // automatic one).
  std::function<void(const void* sender)> OnAfterBackup;
  // Asked before a restore: (question, caption) -> true for Yes.  Without
  // a handler the answer is No.
  std::function<bool(const std::string& text, const std::string& caption)> OnConfirmRestore;
  // Errors of the automatic backup (the check timer has no caller to raise
  // to); without a handler they are dropped and retried at the next tick.
  std::function<void(const std::string& message)> OnBackupError;
  // The present time (base::Now unless given at construction).
  std::function<base::TDateTime()> Clock;

  void LoadBackupSettings();
  void SaveBackupSettings();
  // Throws StorageError on file errors.
  void Backup(const void* sender);
  // Type 2: the backup names in the folder (without ".log"), in name
  // (= time) order; types 0 and 1: the texts of the log's entries.
  std::vector<std::string> FillRestorePoints() const;
  // false when the user said No (nothing touched); true with the channel
  // count of the restored database.  Throws StorageError, leaving the
  // database as it was.
  bool Restore(const std::string& restorePoint, int& channels);
  void SetBackupTexts(const TDBManagerTexts& texts) { texts_ = texts; }
  void OnCheckTimer();

  // The files a type-2 backup at time `now` writes.
  std::string StampedBackupName(base::TDateTime now) const;
  std::string StampedLogName(base::TDateTime now) const;

 private:
  std::string BackupFolder() const;
  std::string Stamp(base::TDateTime now) const;
  std::string FindInBackupFolder(const std::string& name) const;  // case-insensitive
  void RestoreFrom(const std::string& bak, const std::vector<storage::TBackupLogEntry>& chain,
                   const storage::TBackupLogEntry& last, int& channels);

  storage::FileOps& ops_;
  std::string settingsFile_, programFolder_, dbPath_;
  int channels_;
  std::unique_ptr<TCheckTimer> timer_;
  std::string backupFileName_, logFileName_;
  TDBManBackupType type_ = TDBManBackupType::Stamped;
  int interval_ = 0;
  base::TDateTime lastBackup_ = 0;
  bool wait_ = false;
  std::vector<storage::TBackupLogEntry> entries_;
  TDBManagerTexts texts_;
};

}  // namespace kv90
