// Shared fixtures of the storage tests: a fresh temporary folder per test,
// records with values that encode their own number, and a file layer that
// fails on purpose.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "monitor/storage/file_ops.h"
#include "monitor/storage/frx_database.h"

namespace kv90::testing {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kv90storage-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
inline void WriteFile(const std::string& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

constexpr double kT0 = 45000.5;          // 15 March 2023, 12:00
constexpr double kMinute = 1.0 / 1440.0;

// Record k of a test series: time kT0 + k minutes, value c = k * 10 + c.
inline TFile_Data MakeRecord(int channels, int k, double time) {
  TFile_Data r;
  r.Time = time;
  for (int c = 0; c < channels; ++c) r.Values.push_back(k * 10.0 + c);
  return r;
}

// Checks that the database holds exactly `count` records 0..count-1 in the
// series above, readable one by one and counted by contiguous segments.
inline void ExpectSeries(TFRXDatabase& db, int count, int channels) {
  ASSERT_TRUE(db.DatabaseOpen());
  ASSERT_EQ(db.RecordCount(), count);
  std::int32_t next = 0;
  for (const auto& s : db.SearchData()) {
    EXPECT_EQ(s.FirstRecord, next);
    EXPECT_EQ(s.Count, s.LastRecord - s.FirstRecord + 1);
    next = s.LastRecord + 1;
  }
  if (count == 0) return;
  TBooleanArray all(static_cast<std::size_t>(channels), true);
  TFileDataRange recs;
  ASSERT_EQ(db.ReadRange(0, count - 1, all, recs), 0);
  ASSERT_EQ(recs.size(), static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    EXPECT_EQ(recs[k].Number, k);
    EXPECT_EQ(recs[k].Flag, 1);
    for (int c = 0; c < channels; ++c) EXPECT_EQ(recs[k].Values[c], k * 10.0 + c) << "record " << k;
  }
}

// Fails the Nth mutating call (write, sync, truncate, rename, remove,
// folder sync), once or for good.  A failing write may first write half of
// its bytes (a torn write), as a full disk or a power cut would.
class FaultyOps : public storage::FileOps {
 public:
  int failAt = -1;       // 1-based count of the mutating call that fails
  bool forGood = false;  // keep failing after the first failure
  bool tornWrites = false;
  int calls = 0;
  int reads = 0;  // positional reads, for the lookup budget

  ssize_t PRead(int fd, void* buf, std::size_t n, off_t off) override {
    ++reads;
    return FileOps::PRead(fd, buf, n, off);
  }
  ssize_t PWrite(int fd, const void* buf, std::size_t n, off_t off) override {
    if (Fail()) {
      if (tornWrites && n > 1) FileOps::PWrite(fd, buf, n / 2, off);
      errno = ENOSPC;
      return -1;
    }
    return FileOps::PWrite(fd, buf, n, off);
  }
  int Sync(int fd) override { return Fail() ? (errno = EIO, -1) : FileOps::Sync(fd); }
  int Truncate(int fd, off_t s) override { return Fail() ? (errno = EIO, -1) : FileOps::Truncate(fd, s); }
  int Rename(const std::string& a, const std::string& b) override {
    return Fail() ? (errno = EIO, -1) : FileOps::Rename(a, b);
  }
  int Remove(const std::string& p) override { return Fail() ? (errno = EIO, -1) : FileOps::Remove(p); }
  int SyncDir(const std::string& d) override { return Fail() ? (errno = EIO, -1) : FileOps::SyncDir(d); }

 private:
  bool Fail() {
    ++calls;
    return failAt > 0 && (calls == failAt || (forGood && calls > failAt));
  }
};

// A strict model of a power cut.  Only what was made durable survives:
// file contents as of their last fsync, and names (creations, renames,
// deletions) as of the last fsync of their folder.  From the `cutAt`-th
// mutating call on, every call fails (the power is gone); Crash() then puts
// the folder into the state a reboot would find.
class PowerCutOps : public storage::FileOps {
 public:
  int cutAt = -1;
  int calls = 0;

  int Open(const std::string& path, int flags, int mode) override {
    if ((flags & (O_CREAT | O_TRUNC)) && Cut()) return errno = EIO, -1;
    const bool existed = FileOps::Exists(path);
    int fd = FileOps::Open(path, flags, mode);
    if (fd < 0) return fd;
    seen_.insert(path);
    auto it = names_.find(path);
    if (it == names_.end()) {
      const int ino = next_++;
      names_[path] = ino;
      if (existed) {  // on disk from before: durable as it is
        durableNames_[path] = ino;
        durable_[ino] = Content(fd);
      }
      it = names_.find(path);
    }
    fds_[fd] = it->second;
    return fd;
  }
  int Close(int fd) override {
    fds_.erase(fd);
    return FileOps::Close(fd);
  }
  ssize_t PWrite(int fd, const void* b, std::size_t n, off_t o) override {
    return Cut() ? (errno = EIO, -1) : FileOps::PWrite(fd, b, n, o);
  }
  int Truncate(int fd, off_t s) override { return Cut() ? (errno = EIO, -1) : FileOps::Truncate(fd, s); }
  int Sync(int fd) override {
    if (Cut()) return errno = EIO, -1;
    durable_[fds_.at(fd)] = Content(fd);
    return FileOps::Sync(fd);
  }
  int Rename(const std::string& a, const std::string& b) override {
    if (Cut()) return errno = EIO, -1;
    int rc = FileOps::Rename(a, b);
    if (rc == 0) {
      seen_.insert(b);
      names_[b] = names_.at(a);
      names_.erase(a);
    }
    return rc;
  }
  int Remove(const std::string& p) override {
    if (Cut()) return errno = EIO, -1;
    int rc = FileOps::Remove(p);
    if (rc == 0) names_.erase(p);
    return rc;
  }
  int SyncDir(const std::string& d) override {
    if (Cut()) return errno = EIO, -1;
    durableNames_ = names_;  // the tests keep each database in one folder
    return FileOps::SyncDir(d);
  }
  // What a reboot finds.
  void Crash() {
    for (const auto& p : seen_) std::filesystem::remove(p);
    for (const auto& [name, ino] : durableNames_) {
      auto it = durable_.find(ino);
      WriteFileBytes(name, it == durable_.end() ? std::string() : it->second);
    }
  }

 private:
  bool Cut() { return cutAt > 0 && ++calls >= cutAt; }
  std::string Content(int fd) {
    std::string s(static_cast<std::size_t>(FileOps::Size(fd)), '\0');
    if (!s.empty()) FileOps::PRead(fd, s.data(), s.size(), 0);
    return s;
  }
  static void WriteFileBytes(const std::string& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::map<int, int> fds_;                          // descriptor -> file
  std::map<std::string, int> names_, durableNames_;  // name -> file
  std::map<int, std::string> durable_;               // file -> synced content
  std::set<std::string> seen_;
  int next_ = 1;
};

}  // namespace kv90::testing
