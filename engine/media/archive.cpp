// Wrappers of qel.lib: see archive.h.
#include "engine/media/archive.h"

#include <ctime>
#include <cstring>

#include "engine/media/qel/qel.h"

namespace engine::media {
namespace {

// State the library's callbacks read; set before each call, cleared after.
struct CallState {
  std::string pendingPassword;
  bool passwordPending = false;
  bool overwriteAll = false;
  const std::function<bool(const std::string&, std::int64_t, std::int64_t)>* progress = nullptr;
};
thread_local CallState t_call;

struct CallScope {
  CallScope(const std::string& password, bool overwriteAll,
            const std::function<bool(const std::string&, std::int64_t, std::int64_t)>* progress) {
    t_call.pendingPassword = password;
    t_call.passwordPending = !password.empty();
    t_call.overwriteAll = overwriteAll;
    t_call.progress = progress;
  }
  ~CallScope() { t_call = CallState{}; }
};

int PasswordCallback(char* buffer) {
  if (!t_call.passwordPending) return 0;
  const std::size_t n = std::min(t_call.pendingPassword.size(), static_cast<std::size_t>(QEL_PASSWORD_MAX - 1));
  std::memcpy(buffer, t_call.pendingPassword.data(), n);
  buffer[n] = '\0';
  t_call.pendingPassword.clear();
  t_call.passwordPending = false;
  return 1;
}

int FileCallback(const char*) { return 1; }

int ProgressCallback(const char* name, int64_t done, int64_t total) {
  if (t_call.progress && *t_call.progress) return (*t_call.progress)(name ? name : "", done, total) ? 1 : 0;
  return 1;
}

int OverwriteCallback(const char*, int64_t, uint64_t, int64_t, uint64_t, void*, void*, void*, void*, void*) {
  return t_call.overwriteAll ? 4 : 1;
}

}  // namespace

std::string ListErrorText(int code) {
  switch (code) {
    case QEL_ERROR_NOT_FOUND: return "The archive file was not found";
    case QEL_ERROR_ILLEGAL_PATH: return "Illegal path used in a wildcard expression";
    case QEL_ERROR_CANNOT_OPEN: return "The archive cannot be opened: unsupported archive or incorrect password";
    default: return "General failure opening archive";
  }
}

double FileTimeToLocalDateTime(std::uint64_t fileTime) {
  if (fileTime == 0) return 0;
  const std::int64_t unix100ns = static_cast<std::int64_t>(fileTime) - 116444736000000000LL;
  const std::time_t secs = static_cast<std::time_t>(unix100ns / 10000000LL);
  std::tm local{};
  localtime_r(&secs, &local);
  const double localSecs = static_cast<double>(secs) + static_cast<double>(local.tm_gmtoff) +
                           static_cast<double>(unix100ns % 10000000LL) / 1e7;
  return localSecs / 86400.0 + 25569.0;
}

std::vector<ArchiveEntry> ListArchive(const std::string& hostPath, const std::string& password) {
  CallScope scope(password, false, nullptr);
  QelEntry* entries = nullptr;
  int count = 0;
  const intptr_t handle = OpenListArchive(hostPath.c_str(), 0, &PasswordCallback, nullptr, nullptr, nullptr,
                                          password.c_str(), &entries, &count);
  if (handle == 0) {
    const int code = GetLastArchiveError(0);
    throw ArchiveError(code, ListErrorText(code));
  }
  std::vector<ArchiveEntry> out;
  out.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const QelEntry& e = entries[i];
    ArchiveEntry a;
    a.path = e.path ? e.path : "";
    a.size = e.size;
    a.packedSize = e.packedSize;
    a.fileTimeUtc = e.modified;
    a.modified = FileTimeToLocalDateTime(e.modified);
    a.attributes = e.attributes;
    out.push_back(std::move(a));
  }
  CloseListArchive(handle);
  return out;
}

void ExtractArchive(const std::string& hostPath, const std::string& targetFolder, const ExtractOptions& options) {
  std::vector<std::string> names = options.entries;
  if (names.empty()) {
    for (const ArchiveEntry& e : ListArchive(hostPath, options.password))
      if (!e.IsFolder()) names.push_back(e.path);
    if (names.empty()) return;  // an empty archive extracts to nothing
  }
  std::vector<const char*> ptrs;
  ptrs.reserve(names.size());
  for (const auto& n : names) ptrs.push_back(n.c_str());

  CallScope scope(options.password, options.overwriteAll, &options.progress);
  const int ok = ::ExtractArchive(hostPath.c_str(), 1, targetFolder.c_str(), ptrs.data(), static_cast<int>(ptrs.size()),
                                  options.withFolders ? QEL_EXTRACT_WITH_FOLDERS : QEL_EXTRACT_FLAT,
                                  options.password.c_str(), &PasswordCallback, &FileCallback, &ProgressCallback,
                                  &OverwriteCallback);
  if (!ok) {
    const int code = GetLastArchiveError(0);
    throw ArchiveError(code, "#" + std::to_string(code));
  }
}

}  // namespace engine::media
