// Errors of the storage module.  Every text the module produces comes from
// the one table in errors.cpp, addressed by StorageErrc; the arguments are
// filled in where the error is raised.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace kv90::storage {

enum class StorageErrc {
  FileOpen,            // path, system text
  FileRead,            // path, system text
  FileWrite,           // path, system text
  FileSync,            // path, system text
  FileRename,          // from, to, system text
  FileTruncate,        // path, system text
  FileRemove,          // path, system text
  FolderCreate,        // path, system text
  ChannelCountRange,   // count
  ChannelCountUnknown, // path
  DataFileMissing,     // path
  ConfigTooManyDevices,// path, count
  ConfigSize,          // path, size, expected
  ConfigUnknown,       // path
  BackupLogDamaged,    // path
  BackupRangeBad,      // path
  BackupNotFound,      // name
  BackupTypeUnknown,   // type
  RestorePointUnknown, // name
  Busy,                // nothing
};

std::string ErrorText(StorageErrc code, const std::vector<std::string>& args = {});

class StorageError : public std::runtime_error {
 public:
  StorageError(StorageErrc code, const std::vector<std::string>& args = {})
      : std::runtime_error(ErrorText(code, args)), code_(code) {}
  StorageErrc Code() const { return code_; }

 private:
  StorageErrc code_;
};

// errno-based helper: throws StorageError(code, {path..., strerror(errno)}).
[[noreturn]] void ThrowSys(StorageErrc code, std::vector<std::string> args);

}  // namespace kv90::storage
