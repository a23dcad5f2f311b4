#include "monitor/storage/device_config_file.h"

#include "monitor/storage/errors.h"
#include "monitor/storage/records.h"

namespace kv90 {

using storage::StorageErrc;

std::string EncodeDeviceConfig(const LoggerConfig& cfg) {
  const int count = cfg.DeviceCount;
  std::string out(static_cast<std::size_t>(kLoggerConfigHeaderSize + 10 * count), '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(out.data());
  le::PutU16(p, cfg.DeviceCount);
  le::PutU16(p + 2, cfg.DevVer);
  for (int i = 0; i < 10; ++i) p[4 + i] = cfg.DevName[static_cast<std::size_t>(i)];
  le::PutU16(p + 14, cfg.RdTime);
  le::PutU16(p + 16, cfg.WrTime);
  for (int d = 0; d < count; ++d) {
    const DeviceEntry& e = cfg.Devices[static_cast<std::size_t>(d)];
    std::uint8_t* q = p + kLoggerConfigHeaderSize + 10 * d;
    le::PutU16(q, e.Address);
    le::PutU16(q + 2, e.Type);
    le::PutU16(q + 4, e.Register);
    le::PutU16(q + 6, e.Words);
    le::PutU16(q + 8, e.Format);
  }
  return out;
}

bool ReadDeviceConfig(const std::string& path, LoggerConfig& cfg, std::string& error, storage::FileOps& ops) {
  cfg = LoggerConfig{};
  error.clear();
  if (!ops.Exists(path)) return true;  // count 0xFFFF, all else zero
  std::string bytes;
  try {
    bytes = storage::ReadWholeFile(ops, path);
  } catch (const storage::StorageError& e) {
    error = e.what();
    return false;
  }
  if (bytes.size() < static_cast<std::size_t>(kLoggerConfigHeaderSize)) {
    error = storage::ErrorText(StorageErrc::ConfigSize,
                               {path, std::to_string(bytes.size()), std::to_string(kLoggerConfigHeaderSize)});
    return false;
  }
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::uint16_t count = le::GetU16(p);
  if (count == kNoConfig) return true;
  if (count > kMaxDevices) {
    error = storage::ErrorText(StorageErrc::ConfigTooManyDevices, {path, std::to_string(count)});
    return false;
  }
  const std::size_t need = static_cast<std::size_t>(kLoggerConfigHeaderSize + 10 * count);
  if (bytes.size() < need) {
    error = storage::ErrorText(StorageErrc::ConfigSize, {path, std::to_string(bytes.size()), std::to_string(need)});
    return false;
  }
  cfg.DeviceCount = count;
  cfg.DevVer = le::GetU16(p + 2);
  for (int i = 0; i < 10; ++i) cfg.DevName[static_cast<std::size_t>(i)] = p[4 + i];
  cfg.RdTime = le::GetU16(p + 14);
  cfg.WrTime = le::GetU16(p + 16);
  for (int d = 0; d < count; ++d) {
    const std::uint8_t* q = p + kLoggerConfigHeaderSize + 10 * d;
    cfg.Devices[static_cast<std::size_t>(d)] = {le::GetU16(q), le::GetU16(q + 2), le::GetU16(q + 4),
                                                le::GetU16(q + 6), le::GetU16(q + 8)};
  }
  return true;
}

bool WriteDeviceConfig(const std::string& path, const LoggerConfig& cfg, std::string& error, storage::FileOps& ops) {
  error.clear();
  if (cfg.DeviceCount == kNoConfig) {
    error = storage::ErrorText(StorageErrc::ConfigUnknown, {path});
    return false;
  }
  if (cfg.DeviceCount > kMaxDevices) {
    error = storage::ErrorText(StorageErrc::ConfigTooManyDevices, {path, std::to_string(cfg.DeviceCount)});
    return false;
  }
  try {
    storage::MakeFolders(storage::FolderOf(path));
    storage::ReplaceFileAtomic(ops, path, EncodeDeviceConfig(cfg));
  } catch (const storage::StorageError& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace kv90
