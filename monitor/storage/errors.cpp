#include "monitor/storage/errors.h"

#include <cerrno>
#include <cstring>

namespace kv90::storage {
namespace {

struct Entry {
  StorageErrc code;
  const char* text;  // %1, %2, ... are the arguments
};

constexpr Entry kTexts[] = {
    {StorageErrc::FileOpen, "Cannot open file %1: %2"},
    {StorageErrc::FileRead, "Cannot read file %1: %2"},
    {StorageErrc::FileWrite, "Cannot write file %1: %2"},
    {StorageErrc::FileSync, "Cannot flush file %1 to disk: %2"},
    {StorageErrc::FileRename, "Cannot rename %1 to %2: %3"},
    {StorageErrc::FileTruncate, "Cannot shorten file %1: %2"},
    {StorageErrc::FileRemove, "Cannot delete file %1: %2"},
    {StorageErrc::FolderCreate, "Cannot create folder %1: %2"},
    {StorageErrc::ChannelCountRange,
     "Channel count %1 is out of range: a database holds 0 to 1276 channels"},
    {StorageErrc::ChannelCountUnknown,
     "The channel count of database %1 cannot be determined: its index has no header and its records cannot be read"},
    {StorageErrc::DataFileMissing, "Database file %1 does not exist"},
    {StorageErrc::ConfigTooManyDevices,
     "Configuration file %1 lists %2 devices; at most 16 devices can be stored"},
    {StorageErrc::ConfigSize,
     "Configuration file %1 is %2 bytes long, but its device table needs %3 bytes"},
    {StorageErrc::ConfigUnknown, "No logger configuration is known; configuration file %1 was not written"},
    {StorageErrc::BackupLogDamaged, "Backup log %1 is damaged"},
    {StorageErrc::BackupRangeBad,
     "Backup %1 does not hold the records its log describes; nothing was restored"},
    {StorageErrc::BackupNotFound, "Backup %1 was not found"},
    {StorageErrc::BackupTypeUnknown, "Backup type %1 is not known; use 0, 1 or 2"},
    {StorageErrc::RestorePointUnknown, "Restore point %1 is not in the backup log"},
    {StorageErrc::Busy, "A backup or restore is already running"},
};

}  // namespace

std::string ErrorText(StorageErrc code, const std::vector<std::string>& args) {
  std::string tmpl = "Storage error";
  for (const auto& e : kTexts)
    if (e.code == code) tmpl = e.text;
  std::string out;
  for (std::size_t i = 0; i < tmpl.size(); ++i) {
    if (tmpl[i] == '%' && i + 1 < tmpl.size() && tmpl[i + 1] >= '1' && tmpl[i + 1] <= '9') {
      std::size_t a = static_cast<std::size_t>(tmpl[i + 1] - '1');
      out += a < args.size() ? args[a] : std::string();
      ++i;
    } else {
      out += tmpl[i];
    }
  }
  return out;
}

void ThrowSys(StorageErrc code, std::vector<std::string> args) {
  int e = errno;
  args.push_back(e ? std::strerror(e) : "unexpected end of file");
  throw StorageError(code, args);
}

}  // namespace kv90::storage
