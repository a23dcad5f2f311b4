// In-memory records of the record database and their file form.
//
// All numbers in the files are little-endian on every host; doubles are
// IEEE 754 64-bit, carried bit for bit.  A data record of N channels is
// 8N + 30 bytes:
//
//   0  i32   record number (= its position in the file)
//   4  f64   time (date-time double)
//  12  7xu16 year, month, day, hour, minute, second, millisecond of that time
//  26  N xf64 channel values
//  26+8N i32 flag, always 1
//
// An index entry (segment) is 40 bytes:
//
//   0 i32 first record   4 i32 last record   8 f64 first time
//  16 f64 last time     24 f64 interval     32 i32 record count   36 i32 flag
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kv90 {

constexpr int kMaxChannels = 1276;  // records stay below 10240 bytes
constexpr int kIndexHeaderSize = 6;  // "V1" + channel count
constexpr int kSegmentSize = 40;

constexpr std::int64_t RecordSize(int channels) { return 8 * static_cast<std::int64_t>(channels) + 30; }

using TRealArray = std::vector<double>;
using TBooleanArray = std::vector<bool>;

struct TFile_Data {
  std::int32_t Number = 0;
  double Time = 0;
  std::uint16_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, MSec = 0;
  TRealArray Values;
  std::int32_t Flag = 1;

  bool operator==(const TFile_Data&) const = default;
};
using TFileDataArray = std::vector<TFile_Data>;

struct TSearchData {
  std::int32_t FirstRecord = 0;
  std::int32_t LastRecord = 0;
  double FirstTime = 0;
  double LastTime = 0;
  double Interval = 0;  // sampling interval given when the segment was started
  std::int32_t Count = 0;
  std::int32_t Flag = 1;

  bool operator==(const TSearchData&) const = default;
};
using TSearchDataArray = std::vector<TSearchData>;

// --- little-endian codec ------------------------------------------------------
namespace le {

// Loads and stores of little-endian fields: one plain memory access on a
// little-endian host, a byte swap on a big-endian one.
template <class U>
inline U FromLE(U v) {
  if constexpr (std::endian::native == std::endian::big) {
    if constexpr (sizeof(U) == 2) return static_cast<U>(__builtin_bswap16(v));
    if constexpr (sizeof(U) == 4) return static_cast<U>(__builtin_bswap32(v));
    if constexpr (sizeof(U) == 8) return static_cast<U>(__builtin_bswap64(v));
  }
  return v;
}
template <class U>
inline U Load(const std::uint8_t* p) {
  U v;
  std::memcpy(&v, p, sizeof v);
  return FromLE(v);
}
template <class U>
inline void Store(std::uint8_t* p, U v) {
  v = FromLE(v);
  std::memcpy(p, &v, sizeof v);
}

inline void PutU16(std::uint8_t* p, std::uint16_t v) { Store(p, v); }
inline void PutU32(std::uint8_t* p, std::uint32_t v) { Store(p, v); }
inline void PutI32(std::uint8_t* p, std::int32_t v) { Store(p, static_cast<std::uint32_t>(v)); }
inline void PutF64(std::uint8_t* p, double v) { Store(p, std::bit_cast<std::uint64_t>(v)); }
inline std::uint16_t GetU16(const std::uint8_t* p) { return Load<std::uint16_t>(p); }
inline std::uint32_t GetU32(const std::uint8_t* p) { return Load<std::uint32_t>(p); }
inline std::int32_t GetI32(const std::uint8_t* p) { return static_cast<std::int32_t>(GetU32(p)); }
inline double GetF64(const std::uint8_t* p) { return std::bit_cast<double>(Load<std::uint64_t>(p)); }

}  // namespace le

// Record codec.  `out` must hold RecordSize(n) bytes; `rec.Values` n values.
void EncodeRecord(const TFile_Data& rec, int channels, std::uint8_t* out);
void DecodeRecord(const std::uint8_t* in, int channels, TFile_Data& rec);
// Fills the seven date-time parts from rec.Time.
void SetDateParts(TFile_Data& rec);

void EncodeSegment(const TSearchData& s, std::uint8_t* out);
TSearchData DecodeSegment(const std::uint8_t* in);

}  // namespace kv90
