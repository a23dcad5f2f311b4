// Host file helpers.
#include "platform/base/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace base {
namespace fs = std::filesystem;

bool FileExists(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::create_directories(path, ec);
  return DirectoryExists(path);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

bool FsyncPath(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes) {
  std::string dir = ExtractFileDir(path);
  if (dir.empty()) dir = ".";
  std::string tmpl = JoinPath(dir, "." + ExtractFileName(path) + ".XXXXXX");
  std::string tmp = tmpl;
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  // Keep the old file's permissions; a new file gets the usual 0644 less umask.
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return false;
  }
  FsyncPath(dir);
  return true;
}

std::int64_t FileSize(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

namespace {
std::size_t LastSep(std::string_view p) { return p.find_last_of("/\\"); }
}  // namespace

std::string ExtractFileName(std::string_view path) {
  auto k = LastSep(path);
  return std::string(k == std::string_view::npos ? path : path.substr(k + 1));
}

std::string ExtractFileDir(std::string_view path) {
  auto k = LastSep(path);
  if (k == std::string_view::npos) return {};
  if (k == 0) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, k));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  auto sep = LastSep(path);
  auto dot = path.rfind('.');
  if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep))
    return std::string(path) + std::string(ext);
  return std::string(path.substr(0, dot)) + std::string(ext);
}

std::string JoinPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out(a);
  if (out.back() != '/') out += '/';
  out.append(b.front() == '/' ? b.substr(1) : b);
  return out;
}

std::string ExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ExecutableDir() { return ExtractFileDir(ExecutablePath()); }

}  // namespace base
