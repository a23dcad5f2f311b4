// Never lose a reading: torn files, a damaged index, failing writes and
// syncs, and a process killed in the middle of an append loop.  Each time
// the database must open, keep every record whose Append returned 1, and
// lose at most the one being written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "monitor/storage/errors.h"
#include "monitor/storage/frx_database.h"
#include "monitor/storage/tests/test_util.h"

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

class Crash : public ::testing::Test {
 protected:
  TempDir dir;  // first: the paths below are made from it
  std::string path = dir / "data.dat";
  std::string index = dir / "data.sch";

  // Segments of 3 and 2 records (5 in all).
  void Build() {
    TFRXDatabase db;
    ASSERT_EQ(db.Create(path, N), 0);
    ASSERT_EQ(db.Open(path, N, true), 0);
    for (int k = 0; k < 5; ++k) {
      TFile_Data r = MakeRecord(N, k, kT0 + k * kMinute + (k >= 3 ? 1.0 : 0.0));
      ASSERT_EQ(db.Append(r, k == 0 || k == 3, 60), 1);
    }
    data0 = ReadFile(path);
    index0 = ReadFile(index);
  }
  std::string data0, index0;
};

TEST_F(Crash, DataFileCutAtEveryByteOfItsLastRecord) {
  Build();
  const std::size_t rs = static_cast<std::size_t>(RecordSize(N));
  for (std::size_t cut = 4 * rs; cut < data0.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    WriteFile(path, data0.substr(0, cut));
    WriteFile(index, index0);
    TFRXDatabase db;
    ASSERT_EQ(db.Open(path, N, true), 0);
    ExpectSeries(db, 4, N);
    EXPECT_EQ(std::filesystem::file_size(path), 4 * rs);
    TFile_Data r = MakeRecord(N, 4, kT0 + 2.0);
    ASSERT_EQ(db.Append(r, false, 60), 1);  // appends go on where the data ends
    ExpectSeries(db, 5, N);
  }
}

TEST_F(Crash, IndexCutAtEveryByteKeepsAllRecords) {
  Build();
  for (std::size_t cut = 0; cut < index0.size(); ++cut) {
    SCOPED_TRACE("index cut at " + std::to_string(cut));
    WriteFile(path, data0);
    WriteFile(index, index0.substr(0, cut));
    TFRXDatabase db;
    ASSERT_EQ(db.Open(path, N, true), 0);
    ExpectSeries(db, 5, N);
    // The rebuilt index keeps the hour-long gap as a segment boundary.
    EXPECT_EQ(db.SearchCount(), 2);
    TFRXDatabase again;  // and it was written back whole
    ASSERT_EQ(again.Open(path, -10, false), 0);
    EXPECT_EQ(again.RepairNote(), "");
    EXPECT_EQ(again.SearchData(), db.SearchData());
  }
}

TEST_F(Crash, JunkInTheIndex) {
  Build();
  std::mt19937 rng(7);
  auto junk = [&](std::size_t n) {
    std::string s(n, '\0');
    for (auto& ch : s) ch = static_cast<char>(rng());
    return s;
  };
  struct Case { const char* name; std::function<std::string()> make; };
  const Case cases[] = {
      {"whole file junk", [&] { return junk(index0.size()); }},
      {"junk header", [&] { return junk(6) + index0.substr(6); }},
      {"junk channel count", [&] { return std::string("V1\x07\0\0\0", 6) + index0.substr(6); }},
      {"junk first entry", [&] { return index0.substr(0, 6) + junk(40) + index0.substr(46); }},
      {"junk last entry", [&] { return index0.substr(0, 46) + junk(40); }},
      {"junk appended", [&] { return index0 + junk(23); }},
      {"zeros", [&] { return std::string(index0.size(), '\0'); }},
      {"empty", [&] { return std::string(); }},
      {"count too large", [&] {
         std::string s = index0;
         s[46 + 32] = 9;
         return s;
       }},
      {"last time moved", [&] {
         std::string s = index0;
         s[46 + 16 + 7] ^= 1;
         return s;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(path, data0);
    WriteFile(index, c.make());
    TFRXDatabase db;
    ASSERT_EQ(db.Open(path, N, true), 0) << db.LastError();
    ExpectSeries(db, 5, N);
    EXPECT_NE(db.RepairNote(), "");
  }
  // A missing index is rebuilt as well, never re-created empty.
  WriteFile(path, data0);
  std::filesystem::remove(index);
  TFRXDatabase db;
  ASSERT_EQ(db.Open(path, N, true), 0);
  ExpectSeries(db, 5, N);
  EXPECT_EQ(ReadFile(index), index0);
}

// Every mutating file call of an Append or AppendBlock fails in turn (once,
// for good, as a torn write): the records confirmed before survive, the new
// ones survive exactly when the call returned 1.
TEST_F(Crash, FailingWritesAndSyncs) {
  struct Mode { const char* name; bool forGood, torn; };
  const Mode modes[] = {{"once", false, false}, {"for good", true, false}, {"torn for good", true, true}};
  for (const auto& m : modes) {
    for (bool block : {false, true}) {
      for (int failAt = 1;; ++failAt) {
        SCOPED_TRACE(std::string(m.name) + (block ? " block" : " single") + " fail at " + std::to_string(failAt));
        Build();
        FaultyOps ops;
        TFRXDatabase db(ops);
        ASSERT_EQ(db.Open(path, N, true), 0);
        ops.failAt = failAt;
        ops.forGood = m.forGood;
        ops.tornWrites = m.torn;
        ops.calls = 0;
        int rc = 0;
        const int added = block ? 3 : 1;
        try {
          if (block) {
            TFileDataArray recs;
            for (int k = 5; k < 8; ++k) recs.push_back(MakeRecord(N, k, kT0 + 2 + k * kMinute));
            rc = db.AppendBlock(recs, 3, 60, true);
          } else {
            TFile_Data r = MakeRecord(N, 5, kT0 + 2);
            rc = db.Append(r, false, 60);
          }
        } catch (const storage::StorageError&) {
          rc = 0;
        }
        const bool reached = ops.calls >= failAt;
        TFRXDatabase fresh;  // after the "crash", with a working disk
        ASSERT_EQ(fresh.Open(path, N, true), 0) << fresh.LastError();
        // Confirmed records are all there.  A failed call may still leave
        // some of its whole records behind (they reached the disk before
        // the fault), never a damaged one.
        if (rc == 1) {
          ExpectSeries(fresh, 5 + added, N);
        } else {
          EXPECT_GE(fresh.RecordCount(), 5);
          EXPECT_LE(fresh.RecordCount(), 5 + added);
          ExpectSeries(fresh, static_cast<int>(fresh.RecordCount()), N);
        }
        if (rc == 0 && !m.forGood) {
          // The database stays usable after a failed append.
          TFile_Data r = MakeRecord(N, static_cast<int>(db.RecordCount()), kT0 + 3);
          EXPECT_EQ(db.Append(r, false, 60), 1);
          TFRXDatabase after;
          ASSERT_EQ(after.Open(path, N, false), 0);
          ExpectSeries(after, static_cast<int>(db.RecordCount()), N);
          EXPECT_GE(db.RecordCount(), 6);
        }
        if (!reached) break;  // the call finished before the fault: all points covered
      }
    }
  }
}

// The power goes at every step of an Append or AppendBlock.  After the
// reboot the confirmed records are there, and the new ones exactly when the
// call had returned 1 (a call cut short may leave whole records of its own).
TEST_F(Crash, PowerCutAtEveryStep) {
  for (bool block : {false, true}) {
    for (int cutAt = 1;; ++cutAt) {
      SCOPED_TRACE(std::string(block ? "block" : "single") + ", power cut at " + std::to_string(cutAt));
      Build();
      PowerCutOps ops;
      TFRXDatabase db(ops);
      ASSERT_EQ(db.Open(path, N, true), 0);
      ops.cutAt = cutAt;
      const int added = block ? 3 : 1;
      int rc = 0;
      try {
        if (block) {
          TFileDataArray recs;
          for (int k = 5; k < 8; ++k) recs.push_back(MakeRecord(N, k, kT0 + 2 + k * kMinute));
          rc = db.AppendBlock(recs, 3, 60, true);
        } else {
          TFile_Data r = MakeRecord(N, 5, kT0 + 5 * kMinute + 1.0);
          rc = db.Append(r, false, 60);
        }
      } catch (const storage::StorageError&) {
      }
      const bool reached = ops.calls >= cutAt;
      ops.Crash();
      TFRXDatabase fresh;
      ASSERT_EQ(fresh.Open(path, N, true), 0) << fresh.LastError();
      if (rc == 1) {
        ExpectSeries(fresh, 5 + added, N);
      } else {
        EXPECT_GE(fresh.RecordCount(), 5);
        EXPECT_LE(fresh.RecordCount(), 5 + added);
        ExpectSeries(fresh, static_cast<int>(fresh.RecordCount()), N);
      }
      if (!reached) break;
    }
  }
}

// A new database is durable once Create returned 0.
TEST_F(Crash, PowerCutDuringCreate) {
  for (int cutAt = 1;; ++cutAt) {
    SCOPED_TRACE("power cut at " + std::to_string(cutAt));
    std::filesystem::remove(path);
    std::filesystem::remove(index);
    PowerCutOps ops;
    TFRXDatabase db(ops);
    ops.cutAt = cutAt;
    const int rc = db.Create(path, N);
    const bool reached = ops.calls >= cutAt;
    ops.Crash();
    TFRXDatabase fresh;
    const int open = fresh.Open(path, N, true);
    if (rc == 0) {
      ASSERT_EQ(open, 0) << fresh.LastError();
      EXPECT_EQ(fresh.SearchCount(), 0);
    }
    if (open == 0) {
      TFile_Data r = MakeRecord(N, 0, kT0);
      EXPECT_EQ(fresh.Append(r, true, 60), 1);
    }
    if (!reached) break;
  }
}

// A child process appends in a loop and reports each confirmed record on a
// pipe; the parent kills it with SIGKILL at a random moment, reopens the
// database, and checks that every reported record is there.
TEST_F(Crash, KilledInTheMiddleOfAppendLoop) {
  {
    TFRXDatabase db;
    ASSERT_EQ(db.Create(path, N), 0);
  }
  std::mt19937 rng(42);
  int confirmed = 0;
  for (int round = 0; round < 12; ++round) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      TFRXDatabase db;
      if (db.Open(path, N, true) != 0) _exit(2);
      for (int k = static_cast<int>(db.RecordCount());; ++k) {
        TFile_Data r = MakeRecord(N, k, kT0 + k * kMinute);
        if (db.Append(r, k % 50 == 0, 60) != 1) _exit(3);
        std::int32_t n = k + 1;
        if (write(fds[1], &n, sizeof n) != sizeof n) _exit(4);
      }
    }
    close(fds[1]);
    // Let it confirm a few records, then kill it at a random moment.
    std::int32_t n = 0;
    const int want = 3 + static_cast<int>(rng() % 20);
    for (int i = 0; i < want; ++i) ASSERT_EQ(read(fds[0], &n, sizeof n), static_cast<ssize_t>(sizeof n));
    usleep(rng() % 3000);
    kill(pid, SIGKILL);
    while (read(fds[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) {
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own: " << status;
    confirmed = n;
    TFRXDatabase db;
    ASSERT_EQ(db.Open(path, N, true), 0) << db.LastError();
    SCOPED_TRACE("round " + std::to_string(round) + ", confirmed " + std::to_string(confirmed));
    ASSERT_GE(db.RecordCount(), confirmed);
    ASSERT_LE(db.RecordCount(), confirmed + 1);
    ExpectSeries(db, static_cast<int>(db.RecordCount()), N);
  }
  EXPECT_GT(confirmed, 30);
}

}  // namespace
}  // namespace kv90
