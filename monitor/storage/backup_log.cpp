#include "monitor/storage/backup_log.h"

#include "monitor/storage/errors.h"

namespace kv90::storage {

bool TBackupLogEntry::operator==(const TBackupLogEntry& o) const {
  return Number == o.Number && Kind == o.Kind && Header[0] == o.Header[0] && Header[1] == o.Header[1] &&
         Channels == o.Channels && Segments == o.Segments && FirstRecord == o.FirstRecord &&
         LastRecord == o.LastRecord && StartOffset == o.StartOffset && EndOffset == o.EndOffset && Text == o.Text;
}

std::string LowBytesOf(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xF0 && i + 3 < s.size()) cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu), len = 4;
    else if (c >= 0xE0 && i + 2 < s.size()) cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu), len = 3;
    else if (c >= 0xC0 && i + 1 < s.size()) cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu), len = 2;
    out += static_cast<char>(cp & 0xFF);
    i += len;
  }
  return out;
}

std::string Utf8OfLowBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string EncodeLogEntry(const TBackupLogEntry& e) {
  const std::string text = LowBytesOf(e.Text);
  std::string out(4 + 4 + 2 + 4 + 4 + kSegmentSize * e.Segments.size() + 4 * 5 + text.size(), '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(out.data());
  le::PutI32(p, e.Number);
  le::PutI32(p + 4, e.Kind);
  p[8] = static_cast<std::uint8_t>(e.Header[0]);
  p[9] = static_cast<std::uint8_t>(e.Header[1]);
  le::PutI32(p + 10, e.Channels);
  le::PutI32(p + 14, static_cast<std::int32_t>(e.Segments.size()));
  std::uint8_t* q = p + 18;
  for (const auto& s : e.Segments) {
    EncodeSegment(s, q);
    q += kSegmentSize;
  }
  le::PutI32(q, e.FirstRecord);
  le::PutI32(q + 4, e.LastRecord);
  le::PutI32(q + 8, e.StartOffset);
  le::PutI32(q + 12, e.EndOffset);
  le::PutI32(q + 16, static_cast<std::int32_t>(text.size()));
  std::copy(text.begin(), text.end(), reinterpret_cast<char*>(q + 20));
  return out;
}

std::vector<TBackupLogEntry> ReadBackupLog(FileOps& ops, const std::string& path) {
  std::vector<TBackupLogEntry> out;
  if (!ops.Exists(path)) return out;
  const std::string bytes = ReadWholeFile(ops, path);
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t left = bytes.size() - at;
    if (left < 18) break;  // torn
    const std::uint8_t* e = p + at;
    TBackupLogEntry entry;
    entry.Number = le::GetI32(e);
    entry.Kind = le::GetI32(e + 4);
    entry.Header[0] = static_cast<char>(e[8]);
    entry.Header[1] = static_cast<char>(e[9]);
    entry.Channels = le::GetI32(e + 10);
    const std::int32_t segs = le::GetI32(e + 14);
    if (segs < 0 || entry.Kind < 0 || entry.Kind > 1 || entry.Channels < 0 || entry.Channels > kMaxChannels)
      throw StorageError(StorageErrc::BackupLogDamaged, {path});
    if (static_cast<std::uint64_t>(segs) * kSegmentSize + 38 > left) break;  // torn
    const std::uint8_t* q = e + 18;
    for (std::int32_t i = 0; i < segs; ++i, q += kSegmentSize) entry.Segments.push_back(DecodeSegment(q));
    entry.FirstRecord = le::GetI32(q);
    entry.LastRecord = le::GetI32(q + 4);
    entry.StartOffset = le::GetI32(q + 8);
    entry.EndOffset = le::GetI32(q + 12);
    const std::int32_t len = le::GetI32(q + 16);
    const std::size_t head = static_cast<std::size_t>(q + 20 - e);
    if (len < 0 || entry.StartOffset < 0 || entry.EndOffset < entry.StartOffset)
      throw StorageError(StorageErrc::BackupLogDamaged, {path});
    if (head + static_cast<std::size_t>(len) > left) break;  // torn
    entry.Text = Utf8OfLowBytes(std::string(reinterpret_cast<const char*>(q + 20), static_cast<std::size_t>(len)));
    out.push_back(std::move(entry));
    at += head + static_cast<std::size_t>(len);
  }
  return out;
}

}  // namespace kv90::storage
