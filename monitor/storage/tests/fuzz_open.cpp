// Fuzzes opening a database from arbitrary index and data bytes, then using
// it.  Whatever the files hold, Open must not crash, and an opened database
// must be consistent: segments chained from record 0, the data file holding
// exactly the counted records after a writable open, and appends working.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "monitor/storage/errors.h"
#include "monitor/storage/frx_database.h"

namespace {

// One folder for the whole run, removed when the fuzzer exits.
struct Folder {
  std::string path;
  Folder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kv90fuzz-XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~Folder() { std::filesystem::remove_all(path); }
};
const std::string& Dir() {
  static Folder f;
  return f.path;
}

void Put(const std::string& p, const std::uint8_t* b, std::size_t n) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b), static_cast<std::streamsize>(n));
}

// Durability is not what is fuzzed here: skip the flushes for speed.
struct NoSyncOps : kv90::storage::FileOps {
  int Sync(int) override { return 0; }
  int SyncDir(const std::string&) override { return 0; }
};
NoSyncOps ops;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int channels = data[0] % 4;
  const std::size_t split = 1 + std::min<std::size_t>(data[1] * 4u, size - 2);
  const std::string dat = Dir() + "/f.dat", sch = Dir() + "/f.sch";
  Put(sch, data + 2, split - 1);
  Put(dat, data + 1 + split, size - 1 - split);
  kv90::TFRXDatabase db(ops);
  if (db.Open(dat, (data[1] & 1) ? channels : -10, true) != 0) return 0;
  const int n = db.DatabaseDataValuesCount();
  std::int32_t next = 0;
  for (const auto& s : db.SearchData()) {
    Check(s.FirstRecord == next && s.LastRecord >= s.FirstRecord && s.Count == s.LastRecord - s.FirstRecord + 1);
    next = s.LastRecord + 1;
  }
  Check(static_cast<std::int64_t>(std::filesystem::file_size(dat)) == db.RecordCount() * kv90::RecordSize(n));
  kv90::TFile_Data r;
  try {
    db.FindNearest(1, r, 45000.0);
    db.FindNearest(0, r, 45000.0);
    kv90::TFileDataRange recs;
    db.ReadRange(0, 1000, kv90::TBooleanArray(static_cast<std::size_t>(n), true), recs);
    kv90::TCurves1DArray curves;
    db.LoadCurves(kv90::TBooleanArray(static_cast<std::size_t>(n), true), curves, 1e6, -1e6);
    r.Time = 45000.0;
    r.Values.assign(static_cast<std::size_t>(n), 1.0);
    const std::int64_t before = db.RecordCount();
    Check(db.Append(r, true, 60) == 1);
    kv90::TFRXDatabase again(ops);
    Check(again.Open(dat, n, false) == 0 && again.RecordCount() == before + 1);
  } catch (const kv90::storage::StorageError&) {
    Check(false);
  }
  return 0;
}
