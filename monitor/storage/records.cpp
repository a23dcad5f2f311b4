#include "monitor/storage/records.h"

#include <cmath>

#include "platform/base/datetime.h"

namespace kv90 {

void EncodeRecord(const TFile_Data& rec, int channels, std::uint8_t* out) {
  le::PutI32(out, rec.Number);
  le::PutF64(out + 4, rec.Time);
  const std::uint16_t parts[7] = {rec.Year, rec.Month, rec.Day, rec.Hour, rec.Minute, rec.Second, rec.MSec};
  for (int i = 0; i < 7; ++i) le::PutU16(out + 12 + 2 * i, parts[i]);
  std::uint8_t* v = out + 26;
  for (int c = 0; c < channels; ++c) le::PutF64(v + 8 * c, rec.Values[static_cast<std::size_t>(c)]);
  le::PutI32(out + 26 + 8 * channels, rec.Flag);
}

void DecodeRecord(const std::uint8_t* in, int channels, TFile_Data& rec) {
  rec.Number = le::GetI32(in);
  rec.Time = le::GetF64(in + 4);
  std::uint16_t* parts[7] = {&rec.Year, &rec.Month, &rec.Day, &rec.Hour, &rec.Minute, &rec.Second, &rec.MSec};
  for (int i = 0; i < 7; ++i) *parts[i] = le::GetU16(in + 12 + 2 * i);
  rec.Values.resize(static_cast<std::size_t>(channels));
  for (int c = 0; c < channels; ++c) rec.Values[static_cast<std::size_t>(c)] = le::GetF64(in + 26 + 8 * c);
  rec.Flag = le::GetI32(in + 26 + 8 * channels);
}

void SetDateParts(TFile_Data& rec) {
  if (!std::isfinite(rec.Time)) {
    rec.Year = rec.Month = rec.Day = rec.Hour = rec.Minute = rec.Second = rec.MSec = 0;
    return;
  }
  base::DateParts d = base::DecodeDate(rec.Time);
  base::TimeParts t = base::DecodeTime(rec.Time);
  rec.Year = static_cast<std::uint16_t>(d.year);
  rec.Month = static_cast<std::uint16_t>(d.month);
  rec.Day = static_cast<std::uint16_t>(d.day);
  rec.Hour = static_cast<std::uint16_t>(t.hour);
  rec.Minute = static_cast<std::uint16_t>(t.minute);
  rec.Second = static_cast<std::uint16_t>(t.second);
  rec.MSec = static_cast<std::uint16_t>(t.msec);
}

void EncodeSegment(const TSearchData& s, std::uint8_t* out) {
  le::PutI32(out, s.FirstRecord);
  le::PutI32(out + 4, s.LastRecord);
  le::PutF64(out + 8, s.FirstTime);
  le::PutF64(out + 16, s.LastTime);
  le::PutF64(out + 24, s.Interval);
  le::PutI32(out + 32, s.Count);
  le::PutI32(out + 36, s.Flag);
}

TSearchData DecodeSegment(const std::uint8_t* in) {
  TSearchData s;
  s.FirstRecord = le::GetI32(in);
  s.LastRecord = le::GetI32(in + 4);
  s.FirstTime = le::GetF64(in + 8);
  s.LastTime = le::GetF64(in + 16);
  s.Interval = le::GetF64(in + 24);
  s.Count = le::GetI32(in + 32);
  s.Flag = le::GetI32(in + 36);
  return s;
}

}  // namespace kv90
