// The backup log (".log"): one entry per backup, all integers signed 32-bit
// little-endian:
//
//   entry number, kind (0 full, 1 differential), index header (2 bytes,
//   "V1"), channel count, segment count S, S x 40-byte segment entries,
//   first record number copied, last record number, start offset and end
//   offset of the records in the backup file, text length L, L text bytes
//   (one byte per character: the low byte of its code).
//
// Every entry carries the index header and segments, differential ones
// too: that is what lets any entry be restored.  A torn last entry (a crash
// while the log was appended) is not an entry; damage before it is reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "monitor/storage/file_ops.h"
#include "monitor/storage/records.h"

namespace kv90::storage {

struct TBackupLogEntry {
  std::int32_t Number = 1;
  std::int32_t Kind = 0;  // 0 full, 1 differential
  char Header[2] = {'V', '1'};
  std::int32_t Channels = 0;
  TSearchDataArray Segments;
  std::int32_t FirstRecord = 0;
  std::int32_t LastRecord = -1;
  std::int32_t StartOffset = 0;
  std::int32_t EndOffset = 0;
  std::string Text;  // UTF-8 in memory; low bytes on disk

  bool operator==(const TBackupLogEntry& o) const;
};

std::string EncodeLogEntry(const TBackupLogEntry& e);
// All whole entries of the file (empty when it is missing or empty).
// Throws StorageError(BackupLogDamaged) on an entry that cannot be right.
std::vector<TBackupLogEntry> ReadBackupLog(FileOps& ops, const std::string& path);

// Text conversion of the log: UTF-8 <-> one byte per character.
std::string LowBytesOf(const std::string& utf8);
std::string Utf8OfLowBytes(const std::string& bytes);

}  // namespace kv90::storage
