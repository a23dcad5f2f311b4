// The database manager: settings, automatic backup, backup files and log,
// restore points, and restores that give back the database byte for byte
// or leave it alone.
#include <gtest/gtest.h>

#include "monitor/storage/db_manager.h"
#include "monitor/storage/errors.h"
#include "monitor/storage/frx_database.h"
#include "monitor/storage/tests/test_util.h"
#include "platform/base/ini_file.h"

namespace kv90 {
namespace {

using testing::ExpectSeries;
using testing::FaultyOps;
using testing::kMinute;
using testing::kT0;
using testing::MakeRecord;
using testing::PowerCutOps;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr int N = 2;

class Manager : public ::testing::Test {
 protected:
  // A member, not a global: base's date encoding is not ready during static
  // initialisation.
  const double kMay31 = base::EncodeDateTime(2012, 5, 31, 14, 5, 9);
  TempDir dir;
  std::string settings = dir / "Settings/Settings.ini";
  std::string data = dir / "Data/data.dat";
  std::string index = dir / "Data/data.sch";
  double now = kMay31;
  int appended = 0;

  void SetUp() override {
    std::filesystem::create_directories(dir / "Settings");
    TFRXDatabase db;
    ASSERT_EQ(db.Create(data, N), 0);
  }
  // Appends n records; the first of each call starts a segment.
  void Append(int n) {
    TFRXDatabase db;
    ASSERT_EQ(db.Open(data, N, true), 0);
    for (int i = 0; i < n; ++i, ++appended) {
      TFile_Data r = MakeRecord(N, appended, kT0 + appended * kMinute + (i == 0 ? appended : 0));
      ASSERT_EQ(db.Append(r, i == 0, 60), 1);
    }
  }
  std::unique_ptr<TDB_Manager> Make(storage::FileOps& ops = storage::FileOps::Real()) {
    auto m = std::make_unique<TDB_Manager>(settings, dir.path(), N, data, nullptr, ops, [this] { return now; });
    m->OnConfirmRestore = [](const std::string&, const std::string&) { return true; };
    return m;
  }
  base::TIniFile Ini() { return base::TIniFile(settings); }
};

TEST_F(Manager, SettingsDefaultsAndTypes) {
  auto m = Make();
  EXPECT_EQ(m->BackupFileName(), dir.path() + "/DBBackup/backup.bak");
  EXPECT_EQ(m->LogFileName(), dir.path() + "/DBBackup/backup.log");
  EXPECT_EQ(m->BackupType(), TDBManBackupType::Stamped);
  EXPECT_EQ(m->BackupInterval(), 0);
  EXPECT_FALSE(m->CheckTimer().Enabled());
  EXPECT_EQ(m->CheckTimer().Interval(), 600000);
  EXPECT_FALSE(m->DataBazeWait());
  // No LastBackupDateTime yet: the time of first use, written back.
  EXPECT_EQ(m->LastBackupTime(), now);
  EXPECT_NE(Ini().ReadString("DB_Manager", "LastBackupDateTime", ""), "");

  struct Case { long long stored; TDBManBackupType type; long long saved; };
  const Case cases[] = {{-1, TDBManBackupType::Stamped, -1},
                        {2, TDBManBackupType::Stamped, -1},
                        {0, TDBManBackupType::Full, 0},
                        {1, TDBManBackupType::Differential, 1}};
  for (const auto& c : cases) {
    Ini().WriteInteger("DB_Manager", "BackupType", c.stored);
    m->LoadBackupSettings();
    EXPECT_EQ(m->BackupType(), c.type) << c.stored;
    m->SaveBackupSettings();
    EXPECT_EQ(Ini().ReadInteger("DB_Manager", "BackupType", 99), c.saved) << c.stored;
  }
  m->SetBackupInterval(5);
  EXPECT_TRUE(m->CheckTimer().Enabled());
  m->SaveBackupSettings();
  m->SetBackupInterval(0);
  EXPECT_FALSE(m->CheckTimer().Enabled());
  m->LoadBackupSettings();
  EXPECT_EQ(m->BackupInterval(), 5);
  EXPECT_TRUE(m->CheckTimer().Enabled());
}

TEST_F(Manager, LastBackupTimeReadsBackInTheSystemFormats) {
  base::TFormatSettings saved = base::DefaultFormatSettings();
  struct Case { const char* date; const char* time; char sep; };
  const Case cases[] = {{"M/d/yyyy", "h:mm:ss AMPM", '/'}, {"d.M.yyyy", "H:mm:ss", '.'}, {"yyyy-MM-dd", "hh:mm:ss", '-'}};
  for (const auto& c : cases) {
    base::DefaultFormatSettings().shortDateFormat = c.date;
    base::DefaultFormatSettings().longTimeFormat = c.time;
    base::DefaultFormatSettings().dateSeparator = c.sep;
    now = kMay31 + 0.5;  // 02:05:09 the next day, so AM/PM matters
    Make()->Backup(nullptr);
    now = kMay31 + 10;
    auto m = Make();
    EXPECT_NEAR(m->LastBackupTime(), kMay31 + 0.5, 1e-8) << c.date << " " << c.time << ": "
        << Ini().ReadString("DB_Manager", "LastBackupDateTime", "");
  }
  base::DefaultFormatSettings() = saved;
  Ini().WriteString("DB_Manager", "LastBackupDateTime", "no date");
  now = kMay31 + 20;
  EXPECT_EQ(Make()->LastBackupTime(), kMay31 + 20);
}

TEST_F(Manager, CheckTimerBacksUpWhenTheIntervalHasPassed) {
  Append(3);
  Ini().WriteInteger("DB_Manager", "BackupInterval", 7);
  Ini().WriteString("DB_Manager", "LastBackupDateTime", "");
  now = kMay31 - 8;
  Make();  // first use: last backup eight days before kMay31
  now = kMay31;
  auto m = Make();
  ASSERT_TRUE(m->CheckTimer().Enabled());
  std::vector<const void*> senders;
  m->OnAfterBackup = [&](const void* s) {
    EXPECT_TRUE(m->DataBazeWait());
    senders.push_back(s);
  };
  m->CheckTimer().Fire();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], &m->CheckTimer());
  EXPECT_FALSE(m->DataBazeWait());
  EXPECT_TRUE(std::filesystem::exists(dir / "DBBackup/backup_2012_05_31-14_05_09.bak"));
  now += 6;
  m->CheckTimer().Fire();  // six days later: not yet
  EXPECT_EQ(senders.size(), 1u);
  m->SetBackupInterval(0);
  now += 30;
  m->CheckTimer().Fire();
  EXPECT_EQ(senders.size(), 1u);
}

TEST_F(Manager, StampedBackupFilesAndRestorePoints) {
  Append(4);
  auto m = Make();
  int calls = 0;
  m->OnAfterBackup = [&](const void* s) { calls += s == this; };
  m->Backup(this);
  EXPECT_EQ(calls, 1);
  const std::string bak = dir / "DBBackup/backup_2012_05_31-14_05_09.bak";
  const std::string log = dir / "DBBackup/backup_2012_05_31-14_05_09.log";
  EXPECT_EQ(ReadFile(bak), ReadFile(data));
  auto entries = storage::ReadBackupLog(storage::FileOps::Real(), log);
  ASSERT_EQ(entries.size(), 1u);
  const auto& e = entries[0];
  EXPECT_EQ(e.Number, 1);
  EXPECT_EQ(e.Kind, 0);
  EXPECT_EQ(e.Channels, N);
  EXPECT_EQ(e.Segments.size(), 1u);
  EXPECT_EQ(e.FirstRecord, 0);
  EXPECT_EQ(e.LastRecord, 3);
  EXPECT_EQ(e.StartOffset, 0);
  EXPECT_EQ(e.EndOffset, 4 * RecordSize(N));
  EXPECT_EQ(e.Text, "1 > " + base::DateToStr(kMay31) + " " + base::TimeToStr(kMay31) + " - Úplná záloha databáze");
  // One byte per character on disk.
  EXPECT_NE(ReadFile(log).find("\xDApln\xE1 z\xE1loha datab\xE1ze"), std::string::npos);

  WriteFile(dir / "DBBackup/DLog_2012.log", "");
  WriteFile(dir / "DBBackup/notes.txt", "");
  now += 1.0 / 86400;
  m->Backup(nullptr);
  EXPECT_EQ(m->FillRestorePoints(),
            (std::vector<std::string>{"backup_2012_05_31-14_05_09", "backup_2012_05_31-14_05_10"}));
}

TEST_F(Manager, RestoreGivesBackByteIdenticalFiles) {
  Append(5);
  Append(3);  // two segments
  auto m = Make();
  m->Backup(nullptr);
  const std::string data0 = ReadFile(data), index0 = ReadFile(index);
  Append(7);
  // Declined, or no one to ask: nothing changes.
  int n = -1;
  m->OnConfirmRestore = [](const std::string& text, const std::string& caption) {
    EXPECT_EQ(text, "Obnovou přepíšete stávající databázi. Chcete skutečně provést obnovu?");
    EXPECT_EQ(caption, "Varování");
    return false;
  };
  EXPECT_FALSE(m->Restore("backup_2012_05_31-14_05_09", n));
  m->OnConfirmRestore = nullptr;
  EXPECT_FALSE(m->Restore("backup_2012_05_31-14_05_09", n));
  EXPECT_EQ(n, -1);
  EXPECT_NE(ReadFile(data), data0);

  m->OnConfirmRestore = [](const std::string&, const std::string&) { return true; };
  ASSERT_TRUE(m->Restore("backup_2012_05_31-14_05_09", n));
  EXPECT_EQ(n, N);
  EXPECT_EQ(ReadFile(data), data0);
  EXPECT_EQ(ReadFile(index), index0);
  EXPECT_EQ(index0.size(), 6u + 80u);
  EXPECT_FALSE(m->DataBazeWait());
  TFRXDatabase db;
  ASSERT_EQ(db.Open(data, N, true), 0);
  EXPECT_EQ(db.RepairNote(), "");
  ExpectSeries(db, 8, N);
  EXPECT_THROW(m->Restore("backup_1999_01_01-00_00_00", n), storage::StorageError);
}

TEST_F(Manager, RestoreFailingHalfWayLeavesTheDatabase) {
  Append(4);
  Make()->Backup(nullptr);
  Append(2);
  const std::string before = ReadFile(data), beforeIndex = ReadFile(index);
  const std::string bak = dir / "DBBackup/backup_2012_05_31-14_05_09.bak";
  for (int failAt = 1;; ++failAt) {
    SCOPED_TRACE("fail at " + std::to_string(failAt));
    WriteFile(data, before);
    WriteFile(index, beforeIndex);
    FaultyOps ops;
    auto m = Make(ops);
    ops.calls = 0;
    ops.failAt = failAt;
    ops.forGood = true;
    int n = 0;
    bool threw = false;
    try {
      m->Restore("backup_2012_05_31-14_05_09", n);
    } catch (const storage::StorageError&) {
      threw = true;
    }
    // The next open (with a working disk) sees the old or the new database, whole.
    TFRXDatabase db;
    ASSERT_EQ(db.Open(data, N, true), 0);
    const bool old = ReadFile(data) == before && ReadFile(index) == beforeIndex;
    const bool restored = ReadFile(data) == ReadFile(bak);
    EXPECT_TRUE(old || restored);
    if (threw) {
      EXPECT_FALSE(m->DataBazeWait());
    } else {
      EXPECT_TRUE(restored);
      break;
    }
    for (const char* leftover : {"data.dat.restore", "data.sch.restore", "data.dat.commit"})
      EXPECT_FALSE(std::filesystem::exists(dir / (std::string("Data/") + leftover))) << leftover;
  }
}

TEST_F(Manager, PowerCutDuringRestore) {
  Append(4);
  Make()->Backup(nullptr);
  Append(2);
  const std::string before = ReadFile(data), beforeIndex = ReadFile(index);
  const std::string bak = dir / "DBBackup/backup_2012_05_31-14_05_09.bak";
  for (int cutAt = 1;; ++cutAt) {
    SCOPED_TRACE("power cut at " + std::to_string(cutAt));
    WriteFile(data, before);
    WriteFile(index, beforeIndex);
    PowerCutOps ops;
    auto m = Make(ops);
    ops.cutAt = cutAt;
    int n = 0;
    bool done = false;
    try {
      done = m->Restore("backup_2012_05_31-14_05_09", n);
    } catch (const storage::StorageError&) {
    }
    const bool reached = ops.calls >= cutAt;
    ops.Crash();
    TFRXDatabase db;
    ASSERT_EQ(db.Open(data, N, true), 0) << db.LastError();
    const bool old = ReadFile(data) == before && ReadFile(index) == beforeIndex;
    const bool restored = ReadFile(data) == ReadFile(bak) && db.RecordCount() == 4;
    EXPECT_TRUE(old || restored);
    if (done) {
      EXPECT_TRUE(restored);
    }
    if (!reached) break;
  }
}

TEST_F(Manager, RefusesDamagedBackups) {
  Append(4);
  Make()->Backup(nullptr);
  const std::string bak = dir / "DBBackup/backup_2012_05_31-14_05_09.bak";
  const std::string good = ReadFile(bak);
  Append(1);
  const std::string before = ReadFile(data);
  struct Case { const char* name; std::string bytes; };
  std::string renumbered = good;
  renumbered[RecordSize(N)] = 7;
  const Case cases[] = {{"cut short", good.substr(0, good.size() - 5)},
                        {"record numbers wrong", renumbered},
                        {"empty", ""}};
  for (const auto& c : cases) {
    WriteFile(bak, c.bytes);
    int n = 0;
    EXPECT_THROW(Make()->Restore("backup_2012_05_31-14_05_09", n), storage::StorageError) << c.name;
    EXPECT_EQ(ReadFile(data), before) << c.name;
  }
}

// Types 0 and 1: one growing backup file and log, one restore point per entry.
TEST_F(Manager, GrowingBackupsRestoreAnyEntry) {
  for (auto type : {TDBManBackupType::Full, TDBManBackupType::Differential}) {
    SCOPED_TRACE(static_cast<int>(type));
    std::filesystem::remove_all(dir / "DBBackup");
    appended = 0;
    TFRXDatabase fresh;
    ASSERT_EQ(fresh.Create(data, N), 0);
    auto m = Make();
    m->SetBackupType(type);
    std::vector<std::pair<std::string, std::string>> states;
    for (int i = 0; i < 3; ++i) {
      Append(3 + i);
      m->Backup(nullptr);
      states.emplace_back(ReadFile(data), ReadFile(index));
      now += 1;
    }
    const auto points = m->FillRestorePoints();
    ASSERT_EQ(points.size(), 3u);
    const char* kinds = type == TDBManBackupType::Full ? "Úplná" : "Rozdílová";
    EXPECT_NE(points[2].find(kinds), std::string::npos) << points[2];
    EXPECT_EQ(points[0].rfind("1 > ", 0), 0u);
    const auto size = std::filesystem::file_size(dir / "DBBackup/backup.bak");
    EXPECT_EQ(size, (type == TDBManBackupType::Full ? 3 + 7 + 12 : 12) * RecordSize(N));
    for (int i : {1, 0, 2}) {
      int n = 0;
      ASSERT_TRUE(m->Restore(points[i], n));
      EXPECT_EQ(ReadFile(data), states[i].first) << i;
      EXPECT_EQ(ReadFile(index), states[i].second) << i;
    }
    int n = 0;
    EXPECT_THROW(m->Restore("9 > nowhere", n), storage::StorageError);
  }
}

TEST_F(Manager, TornLogTailIsNotAnEntry) {
  Append(2);
  auto m = Make();
  m->SetBackupType(TDBManBackupType::Full);
  m->Backup(nullptr);
  const std::string log = dir / "DBBackup/backup.log";
  WriteFile(log, ReadFile(log) + std::string("\2\0\0\0\0\0", 6));  // a crash while appending
  ASSERT_EQ(storage::ReadBackupLog(storage::FileOps::Real(), log).size(), 1u);
  Append(1);
  m->Backup(nullptr);
  const auto entries = storage::ReadBackupLog(storage::FileOps::Real(), log);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Number, 2);
  EXPECT_EQ(entries[1].LastRecord, 2);
}

}  // namespace
}  // namespace kv90
