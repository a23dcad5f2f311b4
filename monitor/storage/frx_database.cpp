#include "monitor/storage/frx_database.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "monitor/storage/errors.h"

namespace kv90 {

using storage::File;
using storage::StorageErrc;
using storage::StorageError;

namespace {

constexpr std::size_t kPassBytes = 512000;  // sequential reads and block writes
// ReadRange and LoadCurves decode each pass a few hundred records at a
// time, one output column after the other: the records of a chunk stay in
// the first-level cache while each column is written as one sequential
// stream.
constexpr std::int64_t kChunkRecords = 256;

// The points of LoadCurves are far more than any cache holds and the loop
// never reads them back, so on x86-64 they are written with non-temporal
// stores: no line is fetched only to be overwritten.  Elsewhere these are
// plain stores.  FinishStores() orders them before the function returns.
// (ReadRange measured slower with them: its two output streams of small
// fields gain nothing.)
inline void Put64(void* p, std::uint64_t v) {
#if defined(__x86_64__)
  _mm_stream_si64(static_cast<long long*>(p), static_cast<long long>(v));
#else
  std::memcpy(p, &v, sizeof v);
#endif
}
inline void Put32(void* p, std::uint32_t v) {
#if defined(__x86_64__)
  _mm_stream_si32(static_cast<int*>(p), static_cast<int>(v));
#else
  std::memcpy(p, &v, sizeof v);
#endif
}
inline void FinishStores() {
#if defined(__x86_64__)
  _mm_sfence();
#endif
}
constexpr double kWrongSide = 1000000.0;    // distance of a record on the wrong side of t

bool PlausibleTime(double t) { return std::isfinite(t) && t > -693594.0 && t < 2958466.0; }

// Index bytes: "V1", N, then the entries.
std::string IndexBytes(int channels, const TSearchDataArray& segs) {
  std::string out(kIndexHeaderSize + kSegmentSize * segs.size(), '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(out.data());
  p[0] = 'V';
  p[1] = '1';
  le::PutI32(p + 2, channels);
  for (std::size_t i = 0; i < segs.size(); ++i) EncodeSegment(segs[i], p + kIndexHeaderSize + kSegmentSize * i);
  return out;
}

std::vector<int> SelectedChannels(const TBooleanArray& selection) {
  std::vector<int> sel;
  for (std::size_t i = 0; i < selection.size(); ++i)
    if (selection[i]) sel.push_back(static_cast<int>(i));
  return sel;
}

std::string CommitMarkerFor(const std::string& dataPath) { return dataPath + ".commit"; }

}  // namespace

std::string TFRXDatabase::IndexPathFor(const std::string& dataPath) {
  auto slash = dataPath.find_last_of('/');
  auto dot = dataPath.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return dataPath + ".sch";
  return dataPath.substr(0, dot) + ".sch";
}

std::string TFRXDatabase::ReplacementPath(const std::string& path) { return path + ".restore"; }

// --- create, open, close ---------------------------------------------------------

int TFRXDatabase::Create(const std::string& path, int channels) {
  lastError_.clear();
  if (channels < 0 || channels > kMaxChannels) {
    lastError_ = storage::ErrorText(StorageErrc::ChannelCountRange, {std::to_string(channels)});
    return -1;
  }
  try {
    storage::MakeFolders(storage::FolderOf(path));
    storage::ReplaceFileAtomic(ops_, IndexPathFor(path), IndexBytes(channels, {}));
    File data(ops_, path, File::CreateTruncate);
    data.Sync();
    data.Close();
    if (ops_.SyncDir(storage::FolderOf(path)) != 0)
      storage::ThrowSys(StorageErrc::FileSync, {storage::FolderOf(path)});
  } catch (const StorageError& e) {
    lastError_ = e.what();
    return -1;
  }
  return 0;
}

int TFRXDatabase::Open(const std::string& path, int channels, bool writable) {
  Close();
  lastError_.clear();
  repairNote_.clear();
  try {
    FinishPendingReplacement(ops_, path);
  } catch (const StorageError& e) {
    lastError_ = e.what();
    return -4;
  }
  if (!ops_.Exists(path)) {
    lastError_ = storage::ErrorText(StorageErrc::DataFileMissing, {path});
    return -1;
  }
  if (channels > kMaxChannels) {
    lastError_ = storage::ErrorText(StorageErrc::ChannelCountRange, {std::to_string(channels)});
    return -4;
  }
  path_ = path;
  indexPath_ = IndexPathFor(path);
  channels_ = channels;
  writable_ = writable;
  try {
    LoadAndCheck();
  } catch (const StorageError& e) {
    lastError_ = e.what();
    path_.clear();
    indexPath_.clear();
    channels_ = 0;
    writable_ = false;
    segments_.clear();
    return -4;
  }
  open_ = true;
  return 0;
}

void TFRXDatabase::Close() {
  if (!open_) return;
  segments_.clear();
  path_.clear();
  indexPath_.clear();
  channels_ = 0;
  open_ = false;
  writable_ = false;
}

// Reads the index, checks every entry against the data file, and repairs
// what a crash or a damaged file left behind (see the rules in the header).
void TFRXDatabase::LoadAndCheck() {
  const std::int64_t dataSize = ops_.FileSize(path_);
  const bool indexMissing = !ops_.Exists(indexPath_);
  std::string idx;
  if (!indexMissing) idx = storage::ReadWholeFile(ops_, indexPath_);
  auto* ip = reinterpret_cast<const std::uint8_t*>(idx.data());

  // A database always has an index of at least its header; a missing or
  // empty one beside records is damage, never "no records".
  bool damaged = (indexMissing || idx.empty()) && dataSize > 0;
  std::string notes;
  if (indexMissing) notes += "index missing; ";
  else if (damaged) notes += "index empty; ";

  std::size_t off = 0;
  int headerN = -1;
  if (idx.size() >= 2 && idx[0] == 'V' && idx[1] == '1') {
    if (idx.size() >= static_cast<std::size_t>(kIndexHeaderSize)) {
      headerN = le::GetI32(ip + 2);
      off = kIndexHeaderSize;
    } else {
      damaged = true;
      off = idx.size();
      notes += "index header torn; ";
    }
  }

  // The first bytes of the data file decide between candidate channel counts.
  std::vector<std::uint8_t> head;
  {
    File data(ops_, path_, File::Read);
    head.resize(static_cast<std::size_t>(std::min<std::int64_t>(dataSize, 2 * RecordSize(kMaxChannels))));
    head.resize(data.ReadAt(0, head.data(), head.size()));
  }
  auto fitsData = [&](int n) {
    if (n < 0 || n > kMaxChannels) return false;
    const std::size_t rs = static_cast<std::size_t>(RecordSize(n));
    for (std::size_t k = 0; k < 2 && (k + 1) * rs <= head.size(); ++k) {
      const std::uint8_t* r = head.data() + k * rs;
      if (le::GetI32(r) != static_cast<std::int32_t>(k) || le::GetI32(r + rs - 4) != 1) return false;
    }
    return true;
  };
  if (fitsData(headerN)) {
    channels_ = headerN;
  } else {
    if (headerN != -1) {
      damaged = true;
      notes += "index header does not match the data file; ";
    }
    if (!fitsData(channels_)) {
      int found = -1;
      if (head.size() >= static_cast<std::size_t>(RecordSize(0)))
        for (int n = 0; n <= kMaxChannels && found < 0; ++n)
          if (RecordSize(n) <= static_cast<std::int64_t>(head.size()) && fitsData(n)) found = n;
      if (found < 0) throw StorageError(StorageErrc::ChannelCountUnknown, {path_});
      channels_ = found;
    }
  }
  const std::int64_t rs = RecSize();
  const std::int64_t whole = dataSize / rs;

  // Entries: keep the leading run whose numbers chain up, whose counts agree
  // and whose first and last records are in the data file as described.
  TSearchDataArray segs;
  const std::size_t entryBytes = idx.size() - off;
  if (entryBytes % kSegmentSize != 0) {
    damaged = true;
    notes += "index entry torn; ";
  }
  std::int32_t next = 0;
  double lastInterval = 0;
  {
    File data(ops_, path_, File::Read);
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(rs));
    auto recordMatches = [&](std::int32_t k, double t) {
      if (k >= whole) return true;  // beyond the data: cut back below
      if (data.ReadAt(k * rs, rec.data(), rec.size()) != rec.size()) return false;
      return le::GetI32(rec.data()) == k && le::GetI32(rec.data() + rs - 4) == 1 &&
             std::bit_cast<std::uint64_t>(le::GetF64(rec.data() + 4)) == std::bit_cast<std::uint64_t>(t);
    };
    for (std::size_t i = 0; i < entryBytes / kSegmentSize; ++i) {
      TSearchData s = DecodeSegment(ip + off + kSegmentSize * i);
      bool ok = s.Flag == 1 && s.FirstRecord == next && s.LastRecord >= s.FirstRecord &&
                static_cast<std::int64_t>(s.Count) == static_cast<std::int64_t>(s.LastRecord) - s.FirstRecord + 1 &&
                PlausibleTime(s.FirstTime) && PlausibleTime(s.LastTime) && std::isfinite(s.Interval) &&
                recordMatches(s.FirstRecord, s.FirstTime) && recordMatches(s.LastRecord, s.LastTime);
      if (!ok) {
        damaged = true;
        notes += "index entry " + std::to_string(i) + " damaged; ";
        break;
      }
      segs.push_back(s);
      next = s.LastRecord + 1;
      lastInterval = s.Interval;
    }
  }
  // Whole, well-formed records after the last good entry are kept: either
  // the index was damaged, or a crash came between the data sync and the
  // index rename of an append.
  bool adopted = false;
  if (next < whole) {
    const std::int64_t before = segs.empty() ? 0 : segs.back().LastRecord + 1;
    RebuildTail(segs, next, dataSize, lastInterval);
    const std::int64_t after = segs.empty() ? 0 : segs.back().LastRecord + 1;
    if (after > before) {
      adopted = true;
      notes += "took " + std::to_string(after - before) + " record(s) beyond the index back into it; ";
    }
  }

  // The index may count more than the data file holds: cut it back.
  bool trimmed = false;
  while (!segs.empty() && segs.back().FirstRecord >= whole) {
    segs.pop_back();
    trimmed = true;
  }
  if (!segs.empty() && segs.back().LastRecord >= whole) {
    TSearchData& s = segs.back();
    s.LastRecord = static_cast<std::int32_t>(whole - 1);
    s.Count = s.LastRecord - s.FirstRecord + 1;
    File data(ops_, path_, File::Read);
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(rs));
    data.ReadAt(s.LastRecord * rs, rec.data(), rec.size());
    s.LastTime = le::GetF64(rec.data() + 4);
    trimmed = true;
  }
  if (trimmed) notes += "index cut back to the " + std::to_string(whole) + " whole records of the data file; ";

  const std::int64_t counted = segs.empty() ? 0 : segs.back().LastRecord + 1;
  const bool cutData = dataSize != counted * rs;
  if (cutData)
    notes += "data file cut from " + std::to_string(dataSize) + " to " + std::to_string(counted * rs) + " bytes; ";

  if (writable_) {
    if (damaged || trimmed || adopted || indexMissing) WriteIndex(segs);
    if (cutData) {
      File data(ops_, path_, File::ReadWrite);
      data.Truncate(counted * rs);
      data.Sync();
      data.Close();
    }
  }
  segments_ = std::move(segs);
  if (!notes.empty()) repairNote_ = notes.substr(0, notes.size() - 2);
}

// Rebuilds segments for the whole, well-formed records from `first` on.  A
// new segment starts where time runs backwards or a gap of more than twice
// the segment's step appears, so that runs recorded apart stay apart.
void TFRXDatabase::RebuildTail(TSearchDataArray& segs, std::int32_t first, std::int64_t dataSize, double interval) {
  const std::int64_t rs = RecSize();
  const std::int64_t whole = dataSize / rs;
  File data(ops_, path_, File::Read);
  const std::int64_t perPass = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes) / rs);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(perPass * rs));
  double step = 0;
  bool open = false;
  if (interval <= 0 && !segs.empty()) interval = segs.back().Interval;
  // The first record may continue the last good segment.
  if (!segs.empty() && segs.back().Count >= 2 && segs.back().LastRecord + 1 == first) {
    const TSearchData& s = segs.back();
    step = (s.LastTime - s.FirstTime) / (s.Count - 1);
    open = true;
  }
  for (std::int64_t k = first; k < whole;) {
    std::int64_t n = std::min(perPass, whole - k);
    std::size_t got = data.ReadAt(k * rs, buf.data(), static_cast<std::size_t>(n * rs));
    n = static_cast<std::int64_t>(got) / rs;
    if (n == 0) return;
    for (std::int64_t i = 0; i < n; ++i, ++k) {
      const std::uint8_t* r = buf.data() + i * rs;
      const double t = le::GetF64(r + 4);
      if (le::GetI32(r) != k || le::GetI32(r + rs - 4) != 1 || !PlausibleTime(t)) return;
      if (open) {
        TSearchData& s = segs.back();
        const double d = t - s.LastTime;
        if (s.Count == 1) step = d;
        if (d < 0 || (s.Count > 1 && d > 2 * step + 1e-9)) open = false;
      }
      if (!open) {
        segs.push_back({static_cast<std::int32_t>(k), static_cast<std::int32_t>(k), t, t, interval, 1, 1});
        open = true;
        step = 0;
        continue;
      }
      TSearchData& s = segs.back();
      s.LastRecord = static_cast<std::int32_t>(k);
      s.LastTime = t;
      s.Count++;
      // Without a surviving entry to tell the interval, the step in seconds
      // (the on-line database's unit) stands in for it.
      if (s.Count == 2 && interval <= 0) s.Interval = std::round(step * 86400000.0) / 1000.0;
    }
  }
}

void TFRXDatabase::WriteIndex(const TSearchDataArray& segs) {
  storage::ReplaceFileAtomic(ops_, indexPath_, IndexBytes(channels_, segs));
}

// --- lookups -------------------------------------------------------------------------

int TFRXDatabase::FindSegmentByTime(double t) const {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  for (std::size_t i = 0; i < segments_.size(); ++i)
    if (segments_[i].FirstTime <= t && t <= segments_[i].LastTime) return static_cast<int>(i);
  return -1;
}

int TFRXDatabase::FindSegmentByRecord(std::int32_t k) const {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  for (std::size_t i = 0; i < segments_.size(); ++i)
    if (segments_[i].FirstRecord <= k && k <= segments_[i].LastRecord) return static_cast<int>(i);
  return -1;
}

int TFRXDatabase::FirstSegmentAfter(double t) const {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  for (std::size_t i = 0; i < segments_.size(); ++i)
    if (segments_[i].FirstTime > t) return static_cast<int>(i);
  return -1;
}

int TFRXDatabase::LastSegmentBefore(double t) const {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  for (std::size_t i = segments_.size(); i-- > 0;)
    if (segments_[i].LastTime < t) return static_cast<int>(i);
  return -1;
}

std::int32_t TFRXDatabase::Interpolate(const TSearchData& s, double t) const {
  double r = s.LastTime == s.FirstTime ? 0.0 : (t - s.FirstTime) / (s.LastTime - s.FirstTime);
  if (!(r >= 0)) r = 0;  // also NaN
  if (r > 1) r = 1;
  return static_cast<std::int32_t>(std::nearbyint(r * (s.LastRecord - s.FirstRecord))) + s.FirstRecord;
}

int TFRXDatabase::ReadRecord(std::int32_t k, TFile_Data& out) {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  k = std::clamp(k, segments_.front().FirstRecord, segments_.back().LastRecord);
  const std::int64_t rs = RecSize();
  File data(ops_, path_, File::Read);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(rs));
  if (data.ReadAt(k * rs, buf.data(), buf.size()) != buf.size()) return -1;
  DecodeRecord(buf.data(), channels_, out);
  return 0;
}

int TFRXDatabase::FindNearest(int direction, TFile_Data& out, double t) {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  int si = FindSegmentByTime(t);
  if (si < 0) si = direction == 1 ? FirstSegmentAfter(t) : LastSegmentBefore(t);
  if (si < 0) return -1;
  const TSearchData& seg = segments_[static_cast<std::size_t>(si)];
  const std::int32_t k = Interpolate(seg, t);

  // Records k-1, k, k+1 (clamped to the database) in one read.
  const std::int32_t lo = std::max(k - 1, segments_.front().FirstRecord);
  const std::int32_t hi = std::min(k + 1, segments_.back().LastRecord);
  const std::int64_t rs = RecSize();
  std::vector<std::uint8_t> buf(static_cast<std::size_t>((hi - lo + 1) * rs));
  std::size_t got;
  {
    File data(ops_, path_, File::Read);
    got = data.ReadAt(lo * rs, buf.data(), buf.size());
  }
  const std::int32_t readUpTo = lo + static_cast<std::int32_t>(got / rs) - 1;
  auto dist = [&](std::int32_t j) {
    j = std::clamp(j, lo, hi);
    if (j > readUpTo) return std::numeric_limits<double>::infinity();
    double rt = le::GetF64(buf.data() + (j - lo) * rs + 4);
    double d = direction == 1 ? rt - t : t - rt;
    return d < 0 ? kWrongSide : d;
  };
  const double dk = dist(k), dm = dist(k - 1), dp = dist(k + 1);
  std::int32_t c = -1;
  if (dk <= dm && dk <= dp) c = k;
  else if (dm < dp) c = std::clamp(k - 1, lo, hi);
  else if (dp < dm) c = std::clamp(k + 1, lo, hi);

  // The candidate is the answer when it lies on the right side of t and its
  // neighbour towards t is known to lie on the other side (or is outside the
  // segment).  Unevenly spaced records can defeat the interpolation; then a
  // binary search within the segment finds the record.
  bool verified = false;
  if (c >= 0 && c <= readUpTo && dist(c) < kWrongSide) {
    if (direction == 1)
      verified = c == seg.FirstRecord || (c - 1 >= lo && c - 1 <= readUpTo && dist(c - 1) >= kWrongSide);
    else
      verified = c == seg.LastRecord || (c + 1 <= hi && c + 1 <= readUpTo && dist(c + 1) >= kWrongSide);
  }
  if (verified) {
    DecodeRecord(buf.data() + (c - lo) * rs, channels_, out);
    return c;
  }
  return BinarySearch(seg, direction, t, out);
}

// First record of the segment at or after t (direction 1), or last at or
// before t (direction 0); -1 when the segment has none.
std::int32_t TFRXDatabase::BinarySearch(const TSearchData& s, int direction, double t, TFile_Data& out) {
  const std::int64_t rs = RecSize();
  File data(ops_, path_, File::Read);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(rs));
  auto timeOf = [&](std::int32_t j) {
    if (data.ReadAt(j * rs, buf.data(), buf.size()) != buf.size())
      return std::numeric_limits<double>::infinity();
    return le::GetF64(buf.data() + 4);
  };
  std::int32_t lo = s.FirstRecord, hi = s.LastRecord, found = -1;
  while (lo <= hi) {
    std::int32_t mid = lo + (hi - lo) / 2;
    double mt = timeOf(mid);
    if (direction == 1) {
      if (mt >= t) { found = mid; hi = mid - 1; } else lo = mid + 1;
    } else {
      if (mt <= t) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
  }
  if (found < 0) return -1;
  if (data.ReadAt(found * rs, buf.data(), buf.size()) != buf.size()) return -1;
  DecodeRecord(buf.data(), channels_, out);
  return found;
}

// --- sequential reads ---------------------------------------------------------------

int TFRXDatabase::ReadRange(std::int32_t from, std::int32_t to, const TBooleanArray& selection, TFileDataRange& out) {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  if (selection.size() != static_cast<std::size_t>(channels_)) return -1;
  from = std::max(from, segments_.front().FirstRecord);
  to = std::min(to, segments_.back().LastRecord);
  if (from > to || FindSegmentByRecord(from) < 0 || FindSegmentByRecord(to) < 0) return -1;
  const std::vector<int> sel = SelectedChannels(selection);
  std::vector<std::int64_t> offsets(sel.size());
  for (std::size_t c = 0; c < sel.size(); ++c) offsets[c] = 26 + 8 * static_cast<std::int64_t>(sel[c]);
  const std::size_t width = sel.size();
  const std::int64_t rs = RecSize();
  out.Resize(static_cast<std::size_t>(to - from + 1), width);
  TFileDataHead* const heads = out.HeadData();
  double* const values = out.ValueData();

  File data(ops_, path_, File::Read);
  const std::int64_t perPass = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes) / rs);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(perPass, to - from + 1) * rs));
  std::size_t done = 0;
  for (std::int64_t k = from; k <= to;) {
    const std::int64_t want = std::min<std::int64_t>(perPass, to - k + 1);
    const std::int64_t n = static_cast<std::int64_t>(data.ReadAt(k * rs, buf.data(), static_cast<std::size_t>(want * rs))) / rs;
    for (std::int64_t j0 = 0; j0 < n; j0 += kChunkRecords) {
      const std::int64_t m = std::min(kChunkRecords, n - j0);
      const std::uint8_t* const rec0 = buf.data() + j0 * rs;
      TFileDataHead* h = heads + done + static_cast<std::size_t>(j0);
      const std::uint8_t* r = rec0;
      for (std::int64_t j = 0; j < m; ++j, r += rs, ++h) {
        h->Number = le::GetI32(r);
        h->Flag = le::GetI32(r + rs - 4);
        h->Time = le::GetF64(r + 4);
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(&h->Year, r + 12, 14);  // the seven parts as they lie in the file
        } else {
          h->Year = le::GetU16(r + 12);
          h->Month = le::GetU16(r + 14);
          h->Day = le::GetU16(r + 16);
          h->Hour = le::GetU16(r + 18);
          h->Minute = le::GetU16(r + 20);
          h->Second = le::GetU16(r + 22);
          h->MSec = le::GetU16(r + 24);
        }
      }
      double* v = values + (done + static_cast<std::size_t>(j0)) * width;
      r = rec0;
      for (std::int64_t j = 0; j < m; ++j, r += rs)
        for (std::size_t c = 0; c < width; ++c) *v++ = le::GetF64(r + offsets[c]);
    }
    done += static_cast<std::size_t>(n);
    k += n;
    if (n < want) break;  // the data file ends early
  }
  out.Resize(done, width);
  return 0;
}

int TFRXDatabase::LoadCurves(const TBooleanArray& selection, TCurves1DArray& curves, double endTime, double startTime) {
  if (!open_) return -2;
  if (segments_.empty()) return -3;
  if (selection.size() != static_cast<std::size_t>(channels_)) return -1;
  const std::vector<int> sel = SelectedChannels(selection);
  startTime = std::max(startTime, segments_.front().FirstTime);
  endTime = std::min(endTime, segments_.back().LastTime);
  int ss = FindSegmentByTime(startTime);
  if (ss < 0) ss = FirstSegmentAfter(startTime);
  if (ss < 0) return -1;
  int es = FindSegmentByTime(endTime);
  if (es < 0) es = LastSegmentBefore(endTime);
  if (es < 0) es = ss;

  curves.resize(sel.size());
  // The blocks keep their storage from the previous load: an owner that
  // reloads the same curves (the on-line graph) allocates nothing.
  std::vector<TGraphData2DArray> keep(curves.size());
  for (std::size_t c = 0; c < curves.size(); ++c) {
    keep[c] = std::move(curves[c].Blocks);
    curves[c].ClearData();
  }
  const TSearchData& s0 = segments_[static_cast<std::size_t>(ss)];
  const TSearchData& s1 = segments_[static_cast<std::size_t>(es)];
  if (sel.empty() || s0.FirstTime > endTime || s1.LastTime < startTime || es < ss) return 0;
  const std::int32_t from = Interpolate(s0, startTime);
  const std::int32_t to = Interpolate(s1, endTime);
  if (from > to) return 0;
  const std::int32_t prev = from - 1 >= s0.FirstRecord ? from - 1 : -1;
  const std::int32_t next = to + 1 <= s1.LastRecord ? to + 1 : -1;

  // One block per segment touched, sized before the read; block b starts at
  // record blockFirst[b].
  const std::size_t blocks = static_cast<std::size_t>(es - ss + 1);
  std::vector<std::int64_t> blockFirst(blocks), filled(blocks, 0);
  for (std::size_t ci = 0; ci < curves.size(); ++ci) {
    TCurve& c = curves[ci];
    c.Blocks = std::move(keep[ci]);
    c.Blocks.resize(blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
      const TSearchData& seg = segments_[static_cast<std::size_t>(ss) + b];
      blockFirst[b] = std::max(from, seg.FirstRecord);
      const std::int64_t n = std::min(to, seg.LastRecord) - blockFirst[b] + 1;
      c.Blocks[b].resize(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
    }
  }
  std::vector<std::int64_t> offsets(sel.size());
  for (std::size_t c = 0; c < sel.size(); ++c) offsets[c] = 26 + 8 * static_cast<std::int64_t>(sel[c]);

  const std::int64_t rs = RecSize();
  const std::int64_t first = prev >= 0 ? prev : from;
  const std::int64_t last = next >= 0 ? next : to;
  File data(ops_, path_, File::Read);
  const std::int64_t perPass = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes) / rs);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(perPass, last - first + 1) * rs));
  auto neighbour = [&](const std::uint8_t* r, std::int64_t k) {
    const double t = le::GetF64(r + 4);
    const auto id = static_cast<std::int32_t>(k);
    for (std::size_t c = 0; c < sel.size(); ++c) {
      const double v = le::GetF64(r + offsets[c]);
      if (k == prev) {
        curves[c].PrevValue = v, curves[c].PrevTime = t, curves[c].PrevId = id;
      } else {
        curves[c].NextValue = v, curves[c].NextTime = t, curves[c].NextId = id;
      }
    }
  };
  std::size_t b = 0;
  for (std::int64_t k = first; k <= last;) {
    const std::int64_t want = std::min<std::int64_t>(perPass, last - k + 1);
    const std::int64_t n = static_cast<std::int64_t>(data.ReadAt(k * rs, buf.data(), static_cast<std::size_t>(want * rs))) / rs;
    const std::int64_t passEnd = k + n - 1;  // last record of this pass
    if (n > 0 && k == prev) neighbour(buf.data(), k);
    if (n > 0 && passEnd == next) neighbour(buf.data() + (n - 1) * rs, passEnd);
    // Records a..z of this pass lie in the range; they are written block by
    // block, chunk by chunk, channel by channel.
    for (std::int64_t a = std::max<std::int64_t>(k, from), z = std::min<std::int64_t>(passEnd, to); a <= z;) {
      while (b + 1 < blocks && a >= blockFirst[b + 1]) ++b;
      const std::int64_t blockEnd = b + 1 < blocks ? blockFirst[b + 1] - 1 : to;
      const std::int64_t stop = std::min(z, blockEnd);
      for (std::int64_t c0 = a; c0 <= stop; c0 += kChunkRecords) {
        const std::int64_t m = std::min(kChunkRecords, stop - c0 + 1);
        const std::uint8_t* const rec0 = buf.data() + (c0 - k) * rs;
        for (std::size_t c = 0; c < sel.size(); ++c) {
          TGraphDataPoint* q = curves[c].Blocks[b].data() + (c0 - blockFirst[b]);
          const std::int64_t off = offsets[c];
          const std::uint8_t* r = rec0;
          for (std::int64_t j = 0; j < m; ++j, r += rs, ++q) {
            Put64(&q->Value, le::Load<std::uint64_t>(r + off));
            Put64(&q->Time, le::Load<std::uint64_t>(r + 4));
            Put32(&q->Id, static_cast<std::uint32_t>(c0 + j));
          }
        }
      }
      filled[b] = stop - blockFirst[b] + 1;
      a = stop + 1;
    }
    k += n;
    if (n < want) break;
  }
  FinishStores();
  for (auto& c : curves) {
    c.BlockCount = static_cast<std::int32_t>(c.Blocks.size());
    c.BlockSizes.clear();
    c.PointCount = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
      c.Blocks[i].resize(static_cast<std::size_t>(filled[i]));  // shorter only when the data file ends early
      c.BlockSizes.push_back(static_cast<std::int32_t>(filled[i]));
      c.PointCount += static_cast<std::int32_t>(filled[i]);
    }
  }
  return 0;
}

// --- appends ------------------------------------------------------------------------

int TFRXDatabase::Append(TFile_Data& record, bool newSegment, double interval) {
  // A one-element view without copying the caller's values.
  TFileDataArray one(1);
  one[0] = std::move(record);
  int rc = 0;
  try {
    rc = WriteRecords(one, 1, interval, newSegment);
  } catch (...) {
    record = std::move(one[0]);
    throw;
  }
  record = std::move(one[0]);
  return rc;
}

int TFRXDatabase::AppendBlock(TFileDataArray& records, int count, double interval, bool newSegment) {
  return WriteRecords(records, count, interval, newSegment);
}

int TFRXDatabase::WriteRecords(TFileDataArray& records, int count, double interval, bool newSegment) {
  if (!open_ || !writable_ || !ops_.Exists(path_)) return 0;
  if (count <= 0 || records.size() < static_cast<std::size_t>(count)) return 0;
  // Every record needs N values and a real time (days from year 1 to 9999):
  // the repairs at open rely on record times to tell good records.
  for (int i = 0; i < count; ++i) {
    const TFile_Data& r = records[static_cast<std::size_t>(i)];
    if (r.Values.size() != static_cast<std::size_t>(channels_) || !PlausibleTime(r.Time)) return 0;
  }
  const std::int64_t rs = RecSize();
  const std::int64_t counted = RecordCount();
  if (counted + count > std::numeric_limits<std::int32_t>::max()) return 0;

  File data(ops_, path_, File::ReadWrite);
  const std::int64_t size = data.Size();
  if (size < counted * rs) {
    // The data file lost records since the open; the next open repairs the index.
    lastError_ = storage::ErrorText(StorageErrc::FileRead, {path_, "records counted by the index are missing"});
    return 0;
  }
  if (size > counted * rs) data.Truncate(counted * rs);  // never confirmed

  TSearchDataArray segs = segments_;
  const TFile_Data& firstRec = records.front();
  const TFile_Data& lastRec = records[static_cast<std::size_t>(count - 1)];
  if (newSegment || segs.empty())
    segs.push_back({static_cast<std::int32_t>(counted), static_cast<std::int32_t>(counted), firstRec.Time,
                    firstRec.Time, interval, 0, 1});
  TSearchData& s = segs.back();
  s.Count += count;
  s.LastRecord = s.FirstRecord + s.Count - 1;
  s.LastTime = lastRec.Time;
  s.Flag = 1;

  const std::int64_t perWrite = std::max<std::int64_t>(1, static_cast<std::int64_t>(kPassBytes - 1) / rs);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(perWrite, count) * rs));
  for (std::int64_t i = 0; i < count;) {
    const std::int64_t n = std::min<std::int64_t>(perWrite, count - i);
    for (std::int64_t j = 0; j < n; ++j) {
      TFile_Data& r = records[static_cast<std::size_t>(i + j)];
      r.Number = static_cast<std::int32_t>(counted + i + j);
      r.Flag = 1;
      SetDateParts(r);
      EncodeRecord(r, channels_, buf.data() + j * rs);
    }
    data.WriteAt((counted + i) * rs, buf.data(), static_cast<std::size_t>(n * rs));
    i += n;
  }
  data.Sync();
  data.Close();
  WriteIndex(segs);  // the commit point
  segments_ = std::move(segs);
  return 1;
}

// --- replacing both files at once --------------------------------------------------

void TFRXDatabase::CommitReplacement(storage::FileOps& ops, const std::string& dataPath) {
  const std::string dir = storage::FolderOf(dataPath);
  const std::string marker = CommitMarkerFor(dataPath);
  {
    File m(ops, marker, File::CreateTruncate);
    m.WriteAt(0, "1", 1);
    m.Sync();
    m.Close();
  }
  if (ops.SyncDir(dir) != 0) storage::ThrowSys(StorageErrc::FileSync, {dir});
  FinishPendingReplacement(ops, dataPath);
}

void TFRXDatabase::FinishPendingReplacement(storage::FileOps& ops, const std::string& dataPath) {
  const std::string dir = storage::FolderOf(dataPath);
  const std::string marker = CommitMarkerFor(dataPath);
  const std::string files[2] = {dataPath, IndexPathFor(dataPath)};
  if (ops.Exists(marker)) {
    for (const auto& f : files) {
      const std::string src = ReplacementPath(f);
      if (ops.Exists(src) && ops.Rename(src, f) != 0) storage::ThrowSys(StorageErrc::FileRename, {src, f});
    }
    if (ops.SyncDir(dir) != 0) storage::ThrowSys(StorageErrc::FileSync, {dir});
    if (ops.Remove(marker) != 0) storage::ThrowSys(StorageErrc::FileRemove, {marker});
    ops.SyncDir(dir);
    return;
  }
  // Not committed: a replacement that stopped half way is thrown away.
  for (const auto& f : files)
    if (ops.Exists(ReplacementPath(f))) ops.Remove(ReplacementPath(f));
}

}  // namespace kv90
