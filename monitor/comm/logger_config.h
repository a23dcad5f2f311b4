// LoggerConfig: the decoded configuration of a Kv90 logger, as read from its
// configuration block and as stored in a database's ".rdc" file.
//
// Field order is the order of the stored file: device count, DevVer,
// DevName (10 raw bytes), RdTime, WrTime, then 16 device entries of five
// 16-bit words (Address, Type, Register, Words, Format).  Entries beyond the
// device count are zero.  A device count of 0xFFFF means "no configuration
// known".
#pragma once

#include <array>
#include <cstdint>

namespace kv90 {

constexpr std::uint16_t kNoConfig = 0xFFFF;
constexpr int kMaxDevices = 16;   // entries stored
constexpr int kMaxTakenDevices = 15;  // devices decoded from a device table

struct DeviceEntry {
  std::uint16_t Address = 0;
  std::uint16_t Type = 0;
  std::uint16_t Register = 0;
  std::uint16_t Words = 0;
  std::uint16_t Format = 0;

  bool operator==(const DeviceEntry&) const = default;
};

struct LoggerConfig {
  std::uint16_t DeviceCount = kNoConfig;
  std::uint16_t DevVer = 0;
  std::array<std::uint8_t, 10> DevName{};
  std::uint16_t RdTime = 0;  // seconds
  std::uint16_t WrTime = 0;  // minutes
  std::array<DeviceEntry, kMaxDevices> Devices{};

  bool Known() const { return DeviceCount != kNoConfig; }
  bool operator==(const LoggerConfig&) const = default;
};

// The stored form (".rdc") holds only the devices actually present:
// 18 + 10 * DeviceCount bytes (see monitor/storage).
constexpr int kLoggerConfigHeaderSize = 18;

}  // namespace kv90
