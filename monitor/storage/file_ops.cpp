#include "monitor/storage/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "monitor/storage/errors.h"

namespace kv90::storage {

int FileOps::Open(const std::string& path, int flags, int mode) {
  return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}
int FileOps::Close(int fd) { return ::close(fd); }
ssize_t FileOps::PRead(int fd, void* buf, std::size_t n, off_t offset) {
  return ::pread(fd, buf, n, offset);
}
ssize_t FileOps::PWrite(int fd, const void* buf, std::size_t n, off_t offset) {
  return ::pwrite(fd, buf, n, offset);
}
int FileOps::Sync(int fd) { return ::fsync(fd); }
int FileOps::Truncate(int fd, off_t size) { return ::ftruncate(fd, size); }
off_t FileOps::Size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return st.st_size;
}
int FileOps::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}
int FileOps::Remove(const std::string& path) { return ::unlink(path.c_str()); }
int FileOps::SyncDir(const std::string& dir) {
  int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = ::fsync(fd);
  ::close(fd);
  return rc;
}
std::int64_t FileOps::FileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

FileOps& FileOps::Real() {
  static FileOps real;
  return real;
}

// --- File ----------------------------------------------------------------

File::File(FileOps& ops, const std::string& path, Mode mode) : ops_(ops), path_(path) {
  int flags = mode == Read ? O_RDONLY : mode == ReadWrite ? O_RDWR : (O_RDWR | O_CREAT | O_TRUNC);
  fd_ = ops_.Open(path, flags, 0644);
  if (fd_ < 0) ThrowSys(StorageErrc::FileOpen, {path});
}

File::~File() {
  if (fd_ >= 0) ops_.Close(fd_);
}

std::size_t File::ReadAt(std::int64_t offset, void* buf, std::size_t n) {
  std::size_t done = 0;
  auto* p = static_cast<char*>(buf);
  while (done < n) {
    ssize_t r = ops_.PRead(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      ThrowSys(StorageErrc::FileRead, {path_});
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void File::WriteAt(std::int64_t offset, const void* buf, std::size_t n) {
  std::size_t done = 0;
  auto* p = static_cast<const char*>(buf);
  while (done < n) {
    ssize_t r = ops_.PWrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      ThrowSys(StorageErrc::FileWrite, {path_});
    }
    if (r == 0) {
      errno = ENOSPC;
      ThrowSys(StorageErrc::FileWrite, {path_});
    }
    done += static_cast<std::size_t>(r);
  }
}

void File::Sync() {
  if (ops_.Sync(fd_) != 0) ThrowSys(StorageErrc::FileSync, {path_});
}

void File::Truncate(std::int64_t size) {
  if (ops_.Truncate(fd_, static_cast<off_t>(size)) != 0) ThrowSys(StorageErrc::FileTruncate, {path_});
}

std::int64_t File::Size() {
  off_t s = ops_.Size(fd_);
  if (s < 0) ThrowSys(StorageErrc::FileRead, {path_});
  return s;
}

void File::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (ops_.Close(fd) != 0) ThrowSys(StorageErrc::FileWrite, {path_});
}

// --- helpers ---------------------------------------------------------------

std::string FolderOf(const std::string& path) {
  auto pos = path.find_last_of('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return path.substr(0, pos);
}

void MakeFolders(const std::string& dir) {
  if (dir.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    errno = ec.value();
    ThrowSys(StorageErrc::FolderCreate, {dir});
  }
}

void ReplaceFileAtomic(FileOps& ops, const std::string& path, std::string_view bytes) {
  const std::string tmp = path + ".tmp";
  try {
    File f(ops, tmp, File::CreateTruncate);
    f.WriteAt(0, bytes.data(), bytes.size());
    f.Sync();
    f.Close();
    if (ops.Rename(tmp, path) != 0) ThrowSys(StorageErrc::FileRename, {tmp, path});
  } catch (...) {
    ops.Remove(tmp);
    throw;
  }
  if (ops.SyncDir(FolderOf(path)) != 0) ThrowSys(StorageErrc::FileSync, {FolderOf(path)});
}

std::string ReadWholeFile(FileOps& ops, const std::string& path) {
  File f(ops, path, File::Read);
  std::int64_t size = f.Size();
  std::string out(static_cast<std::size_t>(size), '\0');
  out.resize(f.ReadAt(0, out.data(), out.size()));
  return out;
}

}  // namespace kv90::storage
