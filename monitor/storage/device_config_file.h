// The configuration file (".rdc") beside every database: the LoggerConfig
// the records were taken with.  Layout (little-endian): device count u16,
// DevVer u16, DevName 10 bytes, RdTime u16, WrTime u16, then per device
// Address, Type, Register, Words, Format (u16 each): 18 + 10 x count bytes.
// The history view appends graph settings after the device table; reading
// ignores them, writing ends the file after the device table.
//
// Reading refuses a count above 16 (it cannot be held in LoggerConfig) and
// a file too short for its own device table, with a message; a missing
// file gives the "no configuration" record (count 0xFFFF).
#pragma once

#include <string>

#include "monitor/comm/logger_config.h"
#include "monitor/storage/file_ops.h"

namespace kv90 {

std::string EncodeDeviceConfig(const LoggerConfig& cfg);

// true and `cfg` filled; false with `error` (the text for
// "msg_ErrorOnRdCfgFileName") when the file cannot be read or is refused.
bool ReadDeviceConfig(const std::string& path, LoggerConfig& cfg, std::string& error,
                      storage::FileOps& ops = storage::FileOps::Real());
// Creates the folder if missing and replaces the file atomically.  false
// with `error` (the text for "msg_ErrorOnSaveDevConfigWith").  A record
// without a known configuration (count 0xFFFF) or with more than 16
// devices is refused.
bool WriteDeviceConfig(const std::string& path, const LoggerConfig& cfg, std::string& error,
                       storage::FileOps& ops = storage::FileOps::Real());

}  // namespace kv90
