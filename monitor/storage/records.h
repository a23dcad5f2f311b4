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
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <span>
#include <vector>

#include "monitor/storage/bulk_allocator.h"

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

// The fixed fields of a record as ReadRange keeps them.
struct TFileDataHead {
  std::int32_t Number;
  std::int32_t Flag;
  double Time;
  std::uint16_t Year, Month, Day, Hour, Minute, Second, MSec;
};
static_assert(offsetof(TFileDataHead, MSec) - offsetof(TFileDataHead, Year) == 12, "the parts lie as in the file");

// One record of a TFileDataRange: the fields of TFile_Data by value, the
// values as a view into the range (valid while the range is unchanged).
struct TFileDataRef {
  std::int32_t Number;
  double Time;
  std::uint16_t Year, Month, Day, Hour, Minute, Second, MSec;
  std::span<const double> Values;
  std::int32_t Flag;

  TFile_Data ToFileData() const {
    return {Number, Time, Year, Month, Day, Hour, Minute, Second, MSec, TRealArray(Values.begin(), Values.end()), Flag};
  }
};

// The records ReadRange reads: the fixed fields of each record, and the
// selected values of all records in one contiguous array, Width() values
// per record in selection order.  Indexing and iteration give
// TFileDataRef, whose fields are named as in TFile_Data:
//
//   for (const auto r : range) out << r.Time << ';' << r.Values[0] ...
//
// Reading into the same range again reuses its storage.
class TFileDataRange {
 public:
  std::size_t size() const { return heads_.size(); }
  bool empty() const { return heads_.empty(); }
  std::size_t Width() const { return width_; }

  TFileDataRef operator[](std::size_t i) const {
    const TFileDataHead& h = heads_[i];
    return {h.Number, h.Time, h.Year, h.Month, h.Day, h.Hour, h.Minute, h.Second, h.MSec, Values(i), h.Flag};
  }
  std::span<const double> Values(std::size_t i) const { return {values_.data() + i * width_, width_}; }
  const TFileDataHead& Head(std::size_t i) const { return heads_[i]; }
  // All values, record after record.
  std::span<const double> AllValues() const { return {values_.data(), values_.size()}; }

  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = TFileDataRef;
    using difference_type = std::ptrdiff_t;
    using reference = TFileDataRef;
    using pointer = void;
    const_iterator() = default;
    const_iterator(const TFileDataRange* r, std::size_t i) : r_(r), i_(i) {}
    TFileDataRef operator*() const { return (*r_)[i_]; }
    const_iterator& operator++() { ++i_; return *this; }
    const_iterator operator++(int) { const_iterator t = *this; ++i_; return t; }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }

   private:
    const TFileDataRange* r_ = nullptr;
    std::size_t i_ = 0;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  void clear() {
    heads_.clear();
    values_.clear();
    width_ = 0;
  }
  // Gives the storage back (clear() keeps it for the next read).
  void shrink_to_fit() {
    heads_.shrink_to_fit();
    values_.shrink_to_fit();
  }

  // For the reader: `records` records of `width` values, contents left as
  // they are (the reader writes every field), then cut to what was read.
  void Resize(std::size_t records, std::size_t width) {
    width_ = width;
    heads_.resize(records);
    values_.resize(records * width);
  }
  TFileDataHead* HeadData() { return heads_.data(); }
  double* ValueData() { return values_.data(); }

 private:
  std::vector<TFileDataHead, BulkAllocator<TFileDataHead>> heads_;
  std::vector<double, BulkAllocator<double>> values_;
  std::size_t width_ = 0;
};

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
