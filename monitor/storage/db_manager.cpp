#include "monitor/storage/db_manager.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "monitor/storage/date_parse.h"
#include "monitor/storage/errors.h"
#include "monitor/storage/frx_database.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace kv90 {

using storage::File;
using storage::StorageErrc;
using storage::StorageError;
using storage::TBackupLogEntry;

namespace {

constexpr const char* kSection = "DB_Manager";
constexpr std::size_t kPassBytes = 512000;

std::string WithoutExtension(const std::string& path) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

std::string FormatLastBackup(base::TDateTime t) { return base::DateToStr(t) + "-" + base::TimeToStr(t); }

// The stored text is the date, "-", the time; the date itself may hold
// "-" (a date separator), so every "-" is tried as the split.
bool ParseLastBackup(const std::string& text, base::TDateTime& out) {
  const auto& fs = base::DefaultFormatSettings();
  for (std::size_t pos = text.find('-'); pos != std::string::npos; pos = text.find('-', pos + 1)) {
    base::TDateTime d = 0, t = 0;
    if (storage::ParseDateTimeText(text.substr(0, pos), fs.shortDateFormat, fs, d) &&
        storage::ParseDateTimeText(text.substr(pos + 1), fs.longTimeFormat, fs, t)) {
      out = d + t;
      return true;
    }
  }
  return false;
}

// Clears a flag on every way out of a scope.
struct FlagGuard {
  bool& flag;
  explicit FlagGuard(bool& f) : flag(f) { flag = true; }
  ~FlagGuard() { flag = false; }
};

// Copies `bytes` bytes from `src` at `from` to `dst` at `to` in passes.
void CopyBytes(File& src, std::int64_t from, File& dst, std::int64_t to, std::int64_t bytes, std::int64_t recSize,
               std::vector<std::uint8_t>& buf) {
  const std::int64_t pass = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes) / recSize) * recSize;
  buf.resize(static_cast<std::size_t>(std::min(pass, std::max<std::int64_t>(bytes, 1))));
  for (std::int64_t done = 0; done < bytes;) {
    const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), bytes - done);
    if (src.ReadAt(from + done, buf.data(), static_cast<std::size_t>(n)) != static_cast<std::size_t>(n))
      throw StorageError(StorageErrc::BackupRangeBad, {src.Path()});
    dst.WriteAt(to + done, buf.data(), static_cast<std::size_t>(n));
    done += n;
  }
}

}  // namespace

TDB_Manager::TDB_Manager(std::string settingsFile, std::string programFolder, int channels, std::string databasePath,
                         std::unique_ptr<TCheckTimer> timer, storage::FileOps& ops,
                         std::function<base::TDateTime()> clock)
    : Clock(clock ? std::move(clock) : [] { return base::Now(); }),
      ops_(ops),
      settingsFile_(std::move(settingsFile)),
      programFolder_(std::move(programFolder)),
      dbPath_(std::move(databasePath)),
      channels_(channels),
      timer_(timer ? std::move(timer) : std::make_unique<TCheckTimer>()) {
  timer_->SetEnabled(false);
  timer_->OnTimer = [this] { OnCheckTimer(); };
  LoadBackupSettings();
}

void TDB_Manager::SetBackupFileName(const std::string& path) {
  backupFileName_ = path;
  logFileName_ = WithoutExtension(path) + ".log";
}

void TDB_Manager::SetBackupInterval(int days) {
  interval_ = std::max(days, 0);
  timer_->SetEnabled(interval_ > 0);
}

void TDB_Manager::LoadBackupSettings() {
  base::TIniFile ini(settingsFile_);
  SetBackupFileName(ini.ReadString(kSection, "BackupFileName", programFolder_ + "/DBBackup/backup.bak"));
  const long long type = ini.ReadInteger(kSection, "BackupType", -1);
  type_ = type == 0 ? TDBManBackupType::Full : type == 1 ? TDBManBackupType::Differential : TDBManBackupType::Stamped;
  SetBackupInterval(static_cast<int>(std::clamp<long long>(ini.ReadInteger(kSection, "BackupInterval", 0), 0, 36500)));
  const std::string last = ini.ReadString(kSection, "LastBackupDateTime", "");
  if (last.empty() || last == "-1" || !ParseLastBackup(last, lastBackup_)) {
    lastBackup_ = Clock();
    ini.WriteString(kSection, "LastBackupDateTime", FormatLastBackup(lastBackup_));
  }
  entries_.clear();
  wait_ = false;
}

void TDB_Manager::SaveBackupSettings() {
  base::TIniFile ini(settingsFile_);
  ini.WriteString(kSection, "BackupFileName", backupFileName_);
  ini.WriteInteger(kSection, "BackupType", type_ == TDBManBackupType::Stamped ? -1 : static_cast<int>(type_));
  ini.WriteInteger(kSection, "BackupInterval", interval_);
}

std::string TDB_Manager::BackupFolder() const { return storage::FolderOf(backupFileName_); }

// "_yyyy_MM_dd-hh_mm_ss": date and time with "_" as their separators.
std::string TDB_Manager::Stamp(base::TDateTime now) const {
  base::TFormatSettings fs = base::DefaultFormatSettings();
  fs.dateSeparator = '_';
  fs.timeSeparator = '_';
  return "_" + base::FormatDateTime("yyyy/MM/dd", now, fs) + "-" + base::FormatDateTime("hh:mm:ss", now, fs);
}

std::string TDB_Manager::StampedBackupName(base::TDateTime now) const {
  const std::string tail = backupFileName_.size() >= 4 ? backupFileName_.substr(backupFileName_.size() - 4) : "";
  return WithoutExtension(backupFileName_) + Stamp(now) + tail;
}

std::string TDB_Manager::StampedLogName(base::TDateTime now) const {
  return WithoutExtension(logFileName_) + Stamp(now) + ".log";
}

void TDB_Manager::Backup(const void* sender) {
  if (wait_) throw StorageError(StorageErrc::Busy);
  const base::TDateTime now = Clock();
  const bool stamped = type_ == TDBManBackupType::Stamped;
  const std::string bak = stamped ? StampedBackupName(now) : backupFileName_;
  const std::string log = stamped ? StampedLogName(now) : logFileName_;
  storage::MakeFolders(storage::FolderOf(bak));
  {
    FlagGuard busy(wait_);
    if (!ops_.Exists(bak)) {
      File(ops_, bak, File::CreateTruncate).Close();
      File(ops_, log, File::CreateTruncate).Close();
    }
    entries_ = storage::ReadBackupLog(ops_, log);

    // A read-only open gives the records the index counts, repaired in
    // memory if a crash left the files torn.
    TFRXDatabase db(ops_);
    if (db.Open(dbPath_, channels_, false) != 0) throw StorageError(StorageErrc::FileOpen, {dbPath_, db.LastError()});
    const std::int64_t rs = RecordSize(db.DatabaseDataValuesCount());
    std::int32_t first = 0;
    std::int32_t kind = 0;
    if (type_ == TDBManBackupType::Differential && !entries_.empty()) {
      const TBackupLogEntry& prev = entries_.back();
      const bool sameDatabase = !prev.Segments.empty() && db.SearchCount() > 0 &&
                                prev.Segments[0].FirstTime == db.SearchData()[0].FirstTime &&
                                prev.Channels == db.DatabaseDataValuesCount() &&
                                prev.LastRecord + 1 <= db.RecordCount();
      if (sameDatabase) {
        kind = 1;
        first = prev.LastRecord + 1;
      }
    }
    const auto last = static_cast<std::int32_t>(db.RecordCount() - 1);

    File out(ops_, bak, File::ReadWrite);
    const std::int64_t start = out.Size();
    const std::int64_t bytes = (static_cast<std::int64_t>(last) - first + 1) * rs;
    if (start + bytes > std::numeric_limits<std::int32_t>::max()) {
      errno = EFBIG;
      storage::ThrowSys(StorageErrc::FileWrite, {bak});
    }
    if (bytes > 0) {
      File data(ops_, dbPath_, File::Read);
      std::vector<std::uint8_t> buf;
      CopyBytes(data, first * rs, out, start, bytes, rs, buf);
    }
    out.Sync();
    out.Close();

    TBackupLogEntry e;
    e.Number = entries_.empty() ? 1 : entries_.back().Number + 1;
    e.Kind = kind;
    e.Channels = db.DatabaseDataValuesCount();
    e.Segments = db.SearchData();
    e.FirstRecord = first;
    e.LastRecord = last;
    e.StartOffset = static_cast<std::int32_t>(start);
    e.EndOffset = static_cast<std::int32_t>(start + bytes);
    e.Text = std::to_string(e.Number) + " > " + base::DateToStr(now) + " " + base::TimeToStr(now) + " - " +
             (kind ? texts_.DifferentialBackup : texts_.FullBackup);
    // Appended after the whole entries read above: a torn tail is overwritten.
    std::int64_t at = 0;
    for (const auto& old : entries_) at += static_cast<std::int64_t>(storage::EncodeLogEntry(old).size());
    const std::string bytesOfEntry = storage::EncodeLogEntry(e);
    File logFile(ops_, log, File::ReadWrite);
    logFile.WriteAt(at, bytesOfEntry.data(), bytesOfEntry.size());
    logFile.Truncate(at + static_cast<std::int64_t>(bytesOfEntry.size()));
    logFile.Sync();
    logFile.Close();
    entries_.push_back(std::move(e));

    // The time of the last backup moves only once the backup is on disk, so
    // that a failed automatic backup is tried again at the next check.
    lastBackup_ = now;
    base::TIniFile ini(settingsFile_);
    ini.WriteString(kSection, "LastBackupDateTime", FormatLastBackup(now));
    if (OnAfterBackup) OnAfterBackup(sender);
  }
}

void TDB_Manager::OnCheckTimer() {
  if (interval_ <= 0 || wait_ || !(Clock() > lastBackup_ + interval_)) return;
  try {
    Backup(timer_.get());
  } catch (const StorageError& e) {
    if (OnBackupError) OnBackupError(e.what());
  }
}

std::vector<std::string> TDB_Manager::FillRestorePoints() const {
  std::vector<std::string> out;
  if (type_ != TDBManBackupType::Stamped) {
    for (const auto& e : storage::ReadBackupLog(ops_, logFileName_)) out.push_back(e.Text);
    return out;
  }
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(BackupFolder(), ec)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(ec) || !base::EndsText(".log", name) || name.find("DLog") != std::string::npos) continue;
    out.push_back(name.substr(0, name.size() - 4));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string TDB_Manager::FindInBackupFolder(const std::string& name) const {
  const std::string exact = BackupFolder() + "/" + name;
  if (ops_.Exists(exact)) return exact;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(BackupFolder(), ec))
    if (base::SameText(entry.path().filename().string(), name)) return entry.path().string();
  return {};
}

bool TDB_Manager::Restore(const std::string& restorePoint, int& channels) {
  if (wait_) throw StorageError(StorageErrc::Busy);
  if (!OnConfirmRestore || !OnConfirmRestore(texts_.RestoreQuestion, texts_.Warning)) return false;
  FlagGuard busy(wait_);
  std::vector<TBackupLogEntry> chain;
  std::string bak;
  if (type_ == TDBManBackupType::Stamped) {
    bak = FindInBackupFolder(restorePoint + ".BAK");
    const std::string log = FindInBackupFolder(restorePoint + ".log");
    if (bak.empty() || log.empty()) throw StorageError(StorageErrc::BackupNotFound, {restorePoint});
    auto entries = storage::ReadBackupLog(ops_, log);
    if (entries.empty()) throw StorageError(StorageErrc::BackupLogDamaged, {log});
    chain.push_back(entries.back());
    if (chain.back().Kind != 0) throw StorageError(StorageErrc::BackupRangeBad, {bak});
  } else {
    bak = backupFileName_;
    if (!ops_.Exists(bak)) throw StorageError(StorageErrc::BackupNotFound, {bak});
    const auto entries = storage::ReadBackupLog(ops_, logFileName_);
    const auto number = base::ParseInt(restorePoint.substr(0, restorePoint.find(" > ")));
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const TBackupLogEntry& e) { return number && e.Number == *number; });
    if (it == entries.end()) throw StorageError(StorageErrc::RestorePointUnknown, {restorePoint});
    // A differential entry needs the full copy before it and every
    // differential in between.
    auto from = it;
    while (from != entries.begin() && from->Kind != 0) --from;
    if (from->Kind != 0) throw StorageError(StorageErrc::BackupRangeBad, {bak});
    chain.assign(from, it + 1);
  }
  RestoreFrom(bak, chain, chain.back(), channels);
  return true;
}

void TDB_Manager::RestoreFrom(const std::string& bak, const std::vector<TBackupLogEntry>& chain,
                              const TBackupLogEntry& last, int& channels) {
  const int n = last.Channels;
  const std::int64_t rs = RecordSize(n);
  const std::string indexPath = TFRXDatabase::IndexPathFor(dbPath_);
  const std::string dataTmp = TFRXDatabase::ReplacementPath(dbPath_);
  const std::string indexTmp = TFRXDatabase::ReplacementPath(indexPath);
  auto bad = [&] { return StorageError(StorageErrc::BackupRangeBad, {bak}); };

  // The entry's segments must describe records 0 .. LastRecord.
  std::int32_t next = 0;
  for (const auto& s : last.Segments) {
    if (s.FirstRecord != next || s.LastRecord < s.FirstRecord || s.Count != s.LastRecord - s.FirstRecord + 1) throw bad();
    next = s.LastRecord + 1;
  }
  if (next != last.LastRecord + 1) throw bad();

  try {
    storage::MakeFolders(storage::FolderOf(dbPath_));
    File src(ops_, bak, File::Read);
    const std::int64_t size = src.Size();
    File out(ops_, dataTmp, File::CreateTruncate);
    std::int64_t written = 0;
    std::vector<std::uint8_t> buf;
    for (const auto& e : chain) {
      const std::int64_t bytes = static_cast<std::int64_t>(e.EndOffset) - e.StartOffset;
      if (e.Channels != n || e.EndOffset > size || bytes % rs != 0 || e.FirstRecord != written / rs ||
          (bytes > 0 && e.LastRecord != (written + bytes) / rs - 1))
        throw bad();
      CopyBytes(src, e.StartOffset, out, written, bytes, rs, buf);
      written += bytes;
    }
    if (written != (static_cast<std::int64_t>(last.LastRecord) + 1) * rs) throw bad();
    // Every record must be the one its position says.
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(rs));
    const std::int64_t perPass = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes) / rs);
    buf.resize(static_cast<std::size_t>(perPass * rs));
    for (std::int64_t k = 0; k * rs < written;) {
      const std::int64_t m = std::min<std::int64_t>(perPass, written / rs - k);
      if (out.ReadAt(k * rs, buf.data(), static_cast<std::size_t>(m * rs)) != static_cast<std::size_t>(m * rs)) throw bad();
      for (std::int64_t j = 0; j < m; ++j, ++k) {
        const std::uint8_t* r = buf.data() + j * rs;
        if (le::GetI32(r) != k || le::GetI32(r + rs - 4) != 1) throw bad();
      }
    }
    out.Sync();
    out.Close();

    std::string index(kIndexHeaderSize + kSegmentSize * last.Segments.size(), '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(index.data());
    p[0] = static_cast<std::uint8_t>(last.Header[0]);
    p[1] = static_cast<std::uint8_t>(last.Header[1]);
    le::PutI32(p + 2, n);
    for (std::size_t i = 0; i < last.Segments.size(); ++i)
      EncodeSegment(last.Segments[i], p + kIndexHeaderSize + kSegmentSize * i);
    File idx(ops_, indexTmp, File::CreateTruncate);
    idx.WriteAt(0, index.data(), index.size());
    idx.Sync();
    idx.Close();
    TFRXDatabase::CommitReplacement(ops_, dbPath_);
  } catch (...) {
    // Not committed: the replacement files go, the database stays.
    // Committed: the swap is finished now or by the next open.
    try {
      TFRXDatabase::FinishPendingReplacement(ops_, dbPath_);
    } catch (...) {
    }
    throw;
  }
  channels = n;
  channels_ = n;
}

}  // namespace kv90
