// The file layer under the record database and the backup manager.
//
// Every byte the storage module reads or writes goes through a FileOps
// object.  The default (FileOps::Real()) calls the POSIX functions; tests
// wrap it to fail the Nth write or sync, to tear a write half way, or to
// count reads.  The interface is deliberately small: positional reads and
// writes, sync, truncate, size, rename, remove and a folder sync -- the
// operations whose ordering makes the database crash-safe.
//
// Helpers on top (File, WriteFileDurably, ...) turn failures into
// StorageError with the path and the system's error text.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace kv90::storage {

class FileOps {
 public:
  virtual ~FileOps() = default;
  // Like open(2): a descriptor, or -1 with errno set.
  virtual int Open(const std::string& path, int flags, int mode = 0644);
  virtual int Close(int fd);
  virtual ssize_t PRead(int fd, void* buf, std::size_t n, off_t offset);
  virtual ssize_t PWrite(int fd, const void* buf, std::size_t n, off_t offset);
  virtual int Sync(int fd);
  virtual int Truncate(int fd, off_t size);
  virtual off_t Size(int fd);  // -1 on error
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int Remove(const std::string& path);
  // fsync of a folder, so that a rename or a new file in it is durable.
  virtual int SyncDir(const std::string& dir);
  virtual std::int64_t FileSize(const std::string& path);  // -1 when missing
  bool Exists(const std::string& path) { return FileSize(path) >= 0; }

  static FileOps& Real();
};

// An open file; closes itself.  Reads and writes loop over short transfers
// and throw StorageError on failure.
class File {
 public:
  enum Mode { Read, ReadWrite, CreateTruncate };
  File(FileOps& ops, const std::string& path, Mode mode);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to n bytes at offset; returns the count (short only at end of file).
  std::size_t ReadAt(std::int64_t offset, void* buf, std::size_t n);
  void WriteAt(std::int64_t offset, const void* buf, std::size_t n);
  void Sync();
  void Truncate(std::int64_t size);
  std::int64_t Size();
  void Close();  // reports a failing close (data may not have reached the disk)
  const std::string& Path() const { return path_; }

 private:
  FileOps& ops_;
  std::string path_;
  int fd_ = -1;
};

// Writes bytes to a temporary file beside `path`, syncs it, renames it over
// `path` and syncs the folder: readers see the old or the new content, never
// a mix.  Throws StorageError; the old file is intact on failure.
void ReplaceFileAtomic(FileOps& ops, const std::string& path, std::string_view bytes);
// Reads a whole file (throws when it cannot be opened or read).
std::string ReadWholeFile(FileOps& ops, const std::string& path);
// Creates the folder and its parents (throws on failure).
void MakeFolders(const std::string& dir);
std::string FolderOf(const std::string& path);

}  // namespace kv90::storage
