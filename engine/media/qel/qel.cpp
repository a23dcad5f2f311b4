// qel.lib on libarchive: listing and extraction behind the four exports of
// qel.h.  See qel.h for the rules every call keeps.
#include "engine/media/qel/qel.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

thread_local int g_lastError = QEL_OK;

int Fail(int code) {
  g_lastError = code;
  return 0;
}

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

uint64_t ToFileTime(time_t secs, long nsec) {
  const int64_t t = static_cast<int64_t>(secs) * 10000000LL + nsec / 100;
  if (t < -static_cast<int64_t>(kFileTimeUnixEpoch)) return 0;
  return static_cast<uint64_t>(t + static_cast<int64_t>(kFileTimeUnixEpoch));
}

struct ArchiveDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ReadArchive = std::unique_ptr<archive, ArchiveDeleter>;

struct WriteDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};

// The password callback is asked at most this many times per archive, so a
// callback that always answers cannot keep libarchive trying for ever.
constexpr int kMaxPasswordAsks = 3;

struct PasswordSource {
  QelPasswordCallback callback = nullptr;
  int asked = 0;
  char buffer[QEL_PASSWORD_MAX] = {};
};

const char* AskPassword(archive*, void* data) {
  auto* src = static_cast<PasswordSource*>(data);
  if (!src->callback || src->asked >= kMaxPasswordAsks) return nullptr;
  ++src->asked;
  std::memset(src->buffer, 0, sizeof src->buffer);
  if (src->callback(src->buffer) != 1) return nullptr;
  src->buffer[QEL_PASSWORD_MAX - 1] = '\0';
  return src->buffer[0] ? src->buffer : nullptr;
}

// Opens path for reading; 0 and the error code set on failure.
ReadArchive OpenReader(const char* path, const char* password, PasswordSource& pw) {
  struct stat st {};
  if (!path || !*path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
    Fail(QEL_ERROR_NOT_FOUND);
    return nullptr;
  }
  ReadArchive a(archive_read_new());
  if (!a) {
    Fail(QEL_ERROR_GENERAL);
    return nullptr;
  }
  archive_read_support_filter_all(a.get());
  archive_read_support_format_all(a.get());
  if (password && *password) archive_read_add_passphrase(a.get(), password);
  archive_read_set_passphrase_callback(a.get(), &pw, &AskPassword);
  if (archive_read_open_filename(a.get(), path, 64 * 1024) != ARCHIVE_OK) {
    Fail(QEL_ERROR_CANNOT_OPEN);
    return nullptr;
  }
  return a;
}

std::string EntryName(archive_entry* e) {
  const char* p = archive_entry_pathname_utf8(e);
  if (!p) p = archive_entry_pathname(e);
  return p ? p : "";
}

// Backslash form without leading "./" and trailing separator.
std::string ToBackslashes(std::string p) {
  for (char& c : p)
    if (c == '/') c = '\\';
  while (p.size() >= 2 && p[0] == '.' && p[1] == '\\') p.erase(0, 2);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  return p;
}

// True when the relative name stays inside its folder.
bool IsSafeRelative(const std::string& backslashed) {
  if (backslashed.empty() || backslashed[0] == '\\') return false;
  if (backslashed.size() >= 2 && backslashed[1] == ':') return false;
  size_t start = 0;
  while (start <= backslashed.size()) {
    size_t end = backslashed.find('\\', start);
    if (end == std::string::npos) end = backslashed.size();
    if (backslashed.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldAll(std::string s) {
  for (char& c : s) c = Fold(c);
  return s;
}

// '*' and '?' wildcards, case-insensitive (ASCII), iterative with backtracking.
bool WildMatch(const std::string& pat, const std::string& s) {
  size_t p = 0, i = 0, star = std::string::npos, mark = 0;
  while (i < s.size()) {
    if (p < pat.size() && (pat[p] == '?' || Fold(pat[p]) == Fold(s[i]))) {
      ++p;
      ++i;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = i;
    } else if (star != std::string::npos) {
      p = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

uint32_t Attributes(archive_entry* e) {
  const mode_t mode = archive_entry_mode(e);
  uint32_t attr = S_ISDIR(mode) ? 0x10u : 0x20u;
  if (!(mode & S_IWUSR) && (mode & S_IRUSR)) attr |= 0x01u;
  return attr;
}

bool IsPasswordProblem(archive* a, archive_entry* e) {
  if (e && archive_entry_is_encrypted(e)) return true;
  const char* msg = archive_error_string(a);
  return msg && (std::strstr(msg, "assphrase") || std::strstr(msg, "ncrypted") || std::strstr(msg, "assword"));
}

struct ListHandle {
  std::vector<std::string> paths;
  std::vector<QelEntry> entries;
};

std::mutex g_handlesMutex;
std::set<ListHandle*> g_handles;

// Reads every header into entries and names.
// Returns the error code (QEL_OK on success).
int ReadHeaders(archive* a, std::vector<QelEntry>* entries, std::vector<std::string>* names) {
  archive_entry* e = nullptr;
  bool first = true;
  int64_t before = archive_filter_bytes(a, -1);
  for (;;) {
    const int r = archive_read_next_header(a, &e);
    if (r == ARCHIVE_EOF) return QEL_OK;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
      return first || IsPasswordProblem(a, nullptr) ? QEL_ERROR_CANNOT_OPEN : QEL_ERROR_DAMAGED;
    first = false;
    QelEntry rec{};
    rec.size = archive_entry_size_is_set(e) ? archive_entry_size(e) : 0;
    rec.modified = archive_entry_mtime_is_set(e) ? ToFileTime(archive_entry_mtime(e), archive_entry_mtime_nsec(e)) : 0;
    rec.attributes = Attributes(e);
    names->push_back(ToBackslashes(EntryName(e)));
    if (archive_read_data_skip(a) != ARCHIVE_OK) return QEL_ERROR_DAMAGED;
    const int64_t after = archive_filter_bytes(a, -1);
    rec.packedSize = after > before ? after - before : 0;
    before = after;
    entries->push_back(rec);
  }
}

}  // namespace

extern "C" {

intptr_t OpenListArchive(const char* path, int mode, QelPasswordCallback passwordCallback, void*, void*, void*,
                         const char* password, QelEntry** entries, int* count) {
  g_lastError = QEL_OK;
  if (entries) *entries = nullptr;
  if (count) *count = 0;
  if (mode != 0 || !entries || !count) return Fail(QEL_ERROR_GENERAL);
  PasswordSource pw;
  pw.callback = passwordCallback;
  ReadArchive a = OpenReader(path, password, pw);
  if (!a) return 0;
  auto handle = std::make_unique<ListHandle>();
  if (const int rc = ReadHeaders(a.get(), &handle->entries, &handle->paths); rc != QEL_OK) return Fail(rc);
  for (size_t i = 0; i < handle->entries.size(); ++i) handle->entries[i].path = handle->paths[i].c_str();
  *entries = handle->entries.empty() ? nullptr : handle->entries.data();
  *count = static_cast<int>(handle->entries.size());
  std::lock_guard lock(g_handlesMutex);
  g_handles.insert(handle.get());
  return reinterpret_cast<intptr_t>(handle.release());
}

int CloseListArchive(intptr_t handle) {
  auto* h = reinterpret_cast<ListHandle*>(handle);
  {
    std::lock_guard lock(g_handlesMutex);
    if (!g_handles.erase(h)) return Fail(QEL_ERROR_GENERAL);
  }
  delete h;
  g_lastError = QEL_OK;
  return 1;
}

int ExtractArchive(const char* path, int mode, const char* targetFolder, const char* const* entryPaths, int count,
                   int flags, const char* password, QelPasswordCallback passwordCallback, QelFileCallback fileCallback,
                   QelProgressCallback progressCallback, QelOverwriteCallback overwriteCallback) {
  g_lastError = QEL_OK;
  if (mode != 1 || !targetFolder || !*targetFolder) return Fail(QEL_ERROR_GENERAL);

  // Plain names go to a hashed set (the engine passes every entry of a
  // listing), only real patterns are matched one by one.
  const bool all = !entryPaths || count <= 0;
  std::unordered_set<std::string> exact;
  std::vector<std::string> patterns;
  for (int i = 0; !all && i < count; ++i) {
    if (!entryPaths[i]) return Fail(QEL_ERROR_ILLEGAL_PATH);
    std::string p = ToBackslashes(entryPaths[i]);
    if (!IsSafeRelative(p)) return Fail(QEL_ERROR_ILLEGAL_PATH);
    if (p.find_first_of("*?") == std::string::npos)
      exact.insert(FoldAll(p));
    else
      patterns.push_back(std::move(p));
  }
  auto wanted = [&](const std::string& name) {
    if (all || exact.count(FoldAll(name))) return true;
    for (const auto& p : patterns)
      if (WildMatch(p, name)) return true;
    return false;
  };

  // A first pass over the headers gives the total for the progress callback
  // and finds a damaged archive before anything is written.
  int64_t total = 0;
  {
    PasswordSource pw;
    pw.callback = passwordCallback;
    ReadArchive a = OpenReader(path, password, pw);
    if (!a) return 0;
    std::vector<QelEntry> recs;
    std::vector<std::string> names;
    if (const int rc = ReadHeaders(a.get(), &recs, &names); rc != QEL_OK) return Fail(rc);
    for (size_t i = 0; i < recs.size(); ++i)
      if (!(recs[i].attributes & 0x10u) && wanted(names[i])) total += recs[i].size;
  }

  std::error_code ec;
  const std::filesystem::path target(targetFolder);
  std::filesystem::create_directories(target, ec);
  if (!std::filesystem::is_directory(target, ec)) return Fail(QEL_ERROR_WRITE);

  PasswordSource pw;
  pw.callback = passwordCallback;
  ReadArchive a = OpenReader(path, password, pw);
  if (!a) return 0;
  std::unique_ptr<archive, WriteDeleter> out(archive_write_disk_new());
  archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_UNLINK);

  bool overwriteAll = false;
  int64_t done = 0;
  archive_entry* e = nullptr;
  for (;;) {
    const int r = archive_read_next_header(a.get(), &e);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return Fail(QEL_ERROR_DAMAGED);
    const std::string name = ToBackslashes(EntryName(e));
    const mode_t type = archive_entry_filetype(e);
    const bool isDir = type == AE_IFDIR;
    if (!wanted(name) || (isDir && flags == QEL_EXTRACT_FLAT)) {
      archive_read_data_skip(a.get());
      continue;
    }
    if (!IsSafeRelative(name) || (type != AE_IFREG && !isDir) || archive_entry_hardlink(e))
      return Fail(QEL_ERROR_UNSAFE_ENTRY);

    std::string rel = name;
    if (flags == QEL_EXTRACT_FLAT) {
      const size_t slash = rel.rfind('\\');
      if (slash != std::string::npos) rel.erase(0, slash + 1);
    }
    for (char& c : rel)
      if (c == '\\') c = '/';
    const std::filesystem::path dest = target / rel;

    if (!isDir && std::filesystem::exists(dest, ec)) {
      if (std::filesystem::is_directory(dest, ec)) return Fail(QEL_ERROR_WRITE);
      if (overwriteCallback && !overwriteAll) {
        struct stat st {};
        ::stat(dest.c_str(), &st);
        const int answer = overwriteCallback(dest.c_str(), st.st_size, ToFileTime(st.st_mtime, 0),
                                             archive_entry_size(e),
                                             ToFileTime(archive_entry_mtime(e), archive_entry_mtime_nsec(e)), nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
        if (answer == 0) return Fail(QEL_ERROR_CANCELLED);
        if (answer == 4) overwriteAll = true;
        if (answer != 1 && answer != 4) {
          archive_read_data_skip(a.get());
          continue;
        }
      }
    }
    if (!isDir && fileCallback) fileCallback(name.c_str());

    std::unique_ptr<archive_entry, void (*)(archive_entry*)> w(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(w.get(), dest.c_str());
    archive_entry_set_filetype(w.get(), isDir ? AE_IFDIR : AE_IFREG);
    const mode_t m = archive_entry_perm(e);
    archive_entry_set_perm(w.get(), isDir ? 0755 : ((m & 0111) ? 0755 : 0644));
    if (archive_entry_mtime_is_set(e)) archive_entry_set_mtime(w.get(), archive_entry_mtime(e), archive_entry_mtime_nsec(e));
    if (!isDir && archive_entry_size_is_set(e)) archive_entry_set_size(w.get(), archive_entry_size(e));
    if (archive_write_header(out.get(), w.get()) != ARCHIVE_OK) return Fail(QEL_ERROR_WRITE);

    if (!isDir) {
      const void* buf = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      for (;;) {
        const int rr = archive_read_data_block(a.get(), &buf, &size, &offset);
        if (rr == ARCHIVE_EOF) break;
        if (rr != ARCHIVE_OK && rr != ARCHIVE_WARN) {
          const int code = IsPasswordProblem(a.get(), e) ? QEL_ERROR_CANNOT_OPEN : QEL_ERROR_DAMAGED;
          archive_write_finish_entry(out.get());
          std::filesystem::remove(dest, ec);  // no half-written file is left behind
          return Fail(code);
        }
        if (archive_write_data_block(out.get(), buf, size, offset) < ARCHIVE_OK) return Fail(QEL_ERROR_WRITE);
        done += static_cast<int64_t>(size);
        if (progressCallback && progressCallback(name.c_str(), done, total) == 0) {
          archive_write_finish_entry(out.get());
          return Fail(QEL_ERROR_CANCELLED);
        }
      }
    }
    if (archive_write_finish_entry(out.get()) < ARCHIVE_OK) return Fail(QEL_ERROR_WRITE);
  }
  if (archive_write_close(out.get()) != ARCHIVE_OK) return Fail(QEL_ERROR_WRITE);
  return 1;
}

int GetLastArchiveError(int) { return g_lastError; }

}  // extern "C"
