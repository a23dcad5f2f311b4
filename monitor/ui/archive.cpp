#include "monitor/ui/archive.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/text.h"

namespace fs = std::filesystem;

namespace kv90::app {
namespace {

std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string DayStamp(double now) {
  auto d = base::DecodeDate(now);
  return std::to_string(d.year) + Two(d.month) + Two(d.day);
}

bool MoveFile(const fs::path& from, const fs::path& to, std::string& err) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  // Another file system: copy, then remove the original.
  std::error_code ec2;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec2);
  if (!ec2 && base::FsyncPath(to.string())) {
    fs::remove(from, ec2);
    if (!ec2) return true;
    fs::remove(to, ec);
  }
  err = (ec2 ? ec2 : ec).message();
  return false;
}

}  // namespace

TArchiveResult ArchiveOnlineDatabase(const std::string& dataPath, double now) {
  TArchiveResult r;
  const fs::path data(dataPath);
  const std::string day = DayStamp(now);
  const fs::path dir = data.parent_path() / day;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) { r.Error = ec.message(); return r; }
  int n = 0;
  for (; n <= 999; ++n) {
    char num[8];
    std::snprintf(num, sizeof num, "%03d", n);
    if (!fs::exists(dir / (day + "_" + num + ".dat"))) break;
  }
  if (n > 999) { r.Error = "no free archive number in " + dir.string(); return r; }
  char num[8];
  std::snprintf(num, sizeof num, "%03d", n);
  const std::string base = day + "_" + num;

  std::vector<std::pair<fs::path, fs::path>> moved;
  for (const char* ext : {".dat", ".sch", ".rdc"}) {
    fs::path from = data;
    from.replace_extension(ext);
    if (!fs::exists(from)) continue;
    fs::path to = dir / (base + ext);
    if (!MoveFile(from, to, r.Error)) {
      for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        std::string ignored;
        MoveFile(it->second, it->first, ignored);
      }
      return r;
    }
    moved.emplace_back(from, to);
    if (std::string(ext) == ".rdc") r.RdcPath = to.string();
  }
  r.Ok = true;
  return r;
}

void DisposeBackupFiles(const std::string& backupDir, bool move, double now) {
  std::error_code ec;
  if (!fs::is_directory(backupDir, ec)) return;
  auto d = base::DecodeDate(now);
  auto t = base::DecodeTime(now);
  const fs::path sub = fs::path(backupDir) / (std::to_string(d.year) + Two(d.month) + Two(d.day) + Two(t.hour) +
                                              Two(t.minute) + Two(t.second));
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(backupDir, ec)) {
    if (!e.is_regular_file(ec)) continue;
    std::string name = e.path().filename().string();
    if (base::EndsText("bak", name) || base::EndsText("log", name)) files.push_back(e.path());
  }
  if (files.empty()) return;
  if (move) fs::create_directories(sub, ec);
  for (const auto& f : files) {
    std::string err;
    if (move) MoveFile(f, sub / f.filename(), err);
    else fs::remove(f, ec);
  }
}

}  // namespace kv90::app
