// Benchmarks of the record database, each beside a baseline measured in the
// same run on the same files:
//
//   lookups on 10,000,000 records (100 segments)   vs one raw record read
//   ReadRange / LoadCurves over 1,000,000 records  vs a plain sequential read
//   AppendBlock of 1,000,000 records               vs a plain sequential write
//   Append of one record with its flushes          vs one write + fsync
//
// The databases are built once, in a temporary folder that is removed at
// exit (about 0.9 GB while the program runs).  The counter "preads" is the
// number of positional reads per lookup, "records" the records they covered.
// The range reads also report the heap they hold: "output_MB" after the
// call, and "extra_KB", the most the call held beyond its output at any
// moment (its buffer and small bookkeeping), counted by the allocation
// functions below.  "Reused" runs load once before timing, so that every
// timed call finds its output storage in place; "fresh" runs free it
// (untimed) before each call.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "monitor/storage/frx_database.h"

// --- heap accounting ------------------------------------------------------------
namespace {
std::atomic<long long> gLive{0}, gPeak{0};
void* Counted(void* p) {
  if (!p) throw std::bad_alloc();
  const long long live = gLive += static_cast<long long>(malloc_usable_size(p));
  long long peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {}
  return p;
}
void Uncount(void* p) {
  if (!p) return;
  gLive -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void* AlignedAlloc(std::size_t n, std::align_val_t a) {
  void* p = nullptr;
  const std::size_t al = std::max(static_cast<std::size_t>(a), sizeof(void*));
  return posix_memalign(&p, al, n ? n : 1) == 0 ? p : nullptr;
}
}  // namespace
void* operator new(std::size_t n) { return Counted(std::malloc(n ? n : 1)); }
void* operator new[](std::size_t n) { return Counted(std::malloc(n ? n : 1)); }
void* operator new(std::size_t n, std::align_val_t a) { return Counted(AlignedAlloc(n, a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return Counted(AlignedAlloc(n, a)); }
void operator delete(void* p) noexcept { Uncount(p); }
void operator delete[](void* p) noexcept { Uncount(p); }
void operator delete(void* p, std::size_t) noexcept { Uncount(p); }
void operator delete[](void* p, std::size_t) noexcept { Uncount(p); }
void operator delete(void* p, std::align_val_t) noexcept { Uncount(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Uncount(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Uncount(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Uncount(p); }

namespace {

using namespace kv90;

// Heap held by one call: what it leaves (its output) and the most it held
// beyond that while it ran.
struct HeapUse {
  long long before = 0, maxExtra = 0, output = 0;
  void Start() {
    before = gLive.load();
    gPeak = before;
  }
  void Stop() {
    const long long after = gLive.load();
    output = std::max(output, after - before);  // a call into reused storage allocates nothing
    maxExtra = std::max(maxExtra, gPeak.load() - after);
  }
  void Report(benchmark::State& state) const {
    state.counters["output_MB"] = static_cast<double>(output) / 1e6;
    state.counters["extra_KB"] = static_cast<double>(maxExtra) / 1e3;
  }
};

constexpr double kT0 = 45000.0;
constexpr double kMinute = 1.0 / 1440.0;

struct TempFolder {
  std::string path;
  TempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kv90bench-XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
};
TempFolder& Folder() {
  static TempFolder f;
  return f;
}

// Counts positional reads (and the bytes they asked for).
struct CountingOps : storage::FileOps {
  long long preads = 0, bytes = 0;
  ssize_t PRead(int fd, void* buf, std::size_t n, off_t off) override {
    ++preads;
    bytes += static_cast<long long>(n);
    return FileOps::PRead(fd, buf, n, off);
  }
};

// Appends `segments` segments of `perSegment` records, an hour apart.
void Fill(const std::string& path, int channels, int segments, int perSegment) {
  TFRXDatabase db;
  db.Create(path, channels);
  db.Open(path, channels, true);
  const int chunk = std::min(perSegment, 100000);
  TFileDataArray block(static_cast<std::size_t>(chunk));
  for (auto& r : block) r.Values.assign(static_cast<std::size_t>(channels), 0.0);
  long long k = 0;
  double t = kT0;
  for (int s = 0; s < segments; ++s) {
    for (int done = 0; done < perSegment; done += chunk) {
      const int n = std::min(chunk, perSegment - done);
      for (int i = 0; i < n; ++i, ++k) {
        block[static_cast<std::size_t>(i)].Time = t;
        for (int c = 0; c < channels; ++c) block[static_cast<std::size_t>(i)].Values[static_cast<std::size_t>(c)] = static_cast<double>(k % 1000) + c;
        t += kMinute;
      }
      db.AppendBlock(block, n, 60, done == 0);
    }
    t += 60 * kMinute;
  }
}

const std::string& LookupDb() {
  static std::string path = [] {
    std::string p = Folder().path + "/lookup.dat";
    Fill(p, 1, 100, 100000);  // 10,000,000 records, 380 MB
    return p;
  }();
  return path;
}

constexpr int kRangeChannels = 16;
const std::string& RangeDb() {
  static std::string path = [] {
    std::string p = Folder().path + "/range.dat";
    Fill(p, kRangeChannels, 10, 100000);  // 1,000,000 records, 158 MB
    return p;
  }();
  return path;
}
TBooleanArray RangeSelection() {
  TBooleanArray sel(kRangeChannels, false);
  sel[1] = sel[4] = sel[9] = sel[15] = true;
  return sel;
}

// --- lookups ------------------------------------------------------------------------

void BM_Lookup_Baseline_OneRecordRead(benchmark::State& state) {
  const std::string& path = LookupDb();
  const std::int64_t rs = RecordSize(1);
  std::mt19937_64 rng(1);
  char buf[64];
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);  // FindNearest opens the file per call as well
    benchmark::DoNotOptimize(pread(fd, buf, static_cast<std::size_t>(rs), static_cast<off_t>(rng() % 10000000) * rs));
    close(fd);
  }
}
BENCHMARK(BM_Lookup_Baseline_OneRecordRead);

void BM_FindNearest(benchmark::State& state) {
  CountingOps ops;
  TFRXDatabase db(ops);
  db.Open(LookupDb(), 1, false);
  const double span = db.SearchData().back().LastTime - kT0;
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> when(kT0 - 0.1, kT0 + span + 0.1);
  ops.preads = ops.bytes = 0;
  long long found = 0, maxPreads = 0;
  for (auto _ : state) {
    TFile_Data r;
    const long long before = ops.preads;
    found += db.FindNearest(static_cast<int>(rng() & 1), r, when(rng)) >= 0;
    maxPreads = std::max(maxPreads, ops.preads - before);
  }
  state.counters["preads"] = benchmark::Counter(static_cast<double>(ops.preads), benchmark::Counter::kAvgIterations);
  state.counters["max_preads"] = static_cast<double>(maxPreads);
  state.counters["records"] = benchmark::Counter(static_cast<double>(ops.bytes) / RecordSize(1), benchmark::Counter::kAvgIterations);
  state.counters["found"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FindNearest);

void BM_SegmentLookups(benchmark::State& state) {
  TFRXDatabase db;
  db.Open(LookupDb(), 1, false);
  const double span = db.SearchData().back().LastTime - kT0;
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> when(kT0, kT0 + span);
  for (auto _ : state) {
    const double t = when(rng);
    benchmark::DoNotOptimize(db.FindSegmentByTime(t));
    benchmark::DoNotOptimize(db.FindSegmentByRecord(static_cast<std::int32_t>(rng() % 10000000)));
    benchmark::DoNotOptimize(db.FirstSegmentAfter(t));
    benchmark::DoNotOptimize(db.LastSegmentBefore(t));
  }
}
BENCHMARK(BM_SegmentLookups);

// --- sequential reads (1,000,000 records, 4 of 16 channels) --------------------------

void BM_Range_Baseline_SequentialRead(benchmark::State& state) {
  const std::string& path = RangeDb();
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  std::vector<char> buf(512000);
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    for (std::int64_t off = 0; off < size;) off += pread(fd, buf.data(), buf.size(), static_cast<off_t>(off));
    close(fd);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Range_Baseline_SequentialRead)->Unit(benchmark::kMillisecond);

// For reference: the plain read plus copying what ReadRange keeps (number,
// time, four doubles) into one flat, preallocated array -- the least any
// reader that hands out the values must write.
void BM_Range_Reference_ReadAndCopyOut(benchmark::State& state) {
  const std::string& path = RangeDb();
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  const std::int64_t rs = RecordSize(kRangeChannels);
  const std::int64_t perPass = 512000 / rs;
  std::vector<unsigned char> buf(static_cast<std::size_t>(perPass * rs));
  std::vector<double> out(static_cast<std::size_t>(1000000 * 6));
  const int sel[4] = {1, 4, 9, 15};
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    std::size_t o = 0;
    for (std::int64_t off = 0; off < size;) {
      const auto got = pread(fd, buf.data(), buf.size(), static_cast<off_t>(off));
      if (got <= 0) break;
      for (std::int64_t r = 0; r < got / rs; ++r) {
        const unsigned char* p = buf.data() + r * rs;
        out[o++] = le::GetI32(p);
        out[o++] = le::GetF64(p + 4);
        for (int c : sel) out[o++] = le::GetF64(p + 26 + 8 * c);
      }
      off += got;
    }
    close(fd);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Range_Reference_ReadAndCopyOut)->Unit(benchmark::kMillisecond);

void BM_ReadRange(benchmark::State& state) {
  TFRXDatabase db;
  db.Open(RangeDb(), kRangeChannels, false);
  const TBooleanArray sel = RangeSelection();
  const bool reuse = state.range(0) != 0;
  TFileDataRange out;
  HeapUse heap;
  if (reuse) {  // the storage exists before the timed reads
    heap.Start();
    db.ReadRange(0, 999999, sel, out);
    heap.Stop();
  }
  for (auto _ : state) {
    if (!reuse) {
      state.PauseTiming();
      out = TFileDataRange();
      state.ResumeTiming();
    }
    heap.Start();
    db.ReadRange(0, 999999, sel, out);
    heap.Stop();
    benchmark::DoNotOptimize(out.Head(0));
  }
  heap.Report(state);
  state.counters["records"] = static_cast<double>(out.size());
  state.SetLabel(reuse ? "output reused" : "fresh output");
  state.SetBytesProcessed(state.iterations() * 1000000 * RecordSize(kRangeChannels));
}
BENCHMARK(BM_ReadRange)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_LoadCurves(benchmark::State& state) {
  TFRXDatabase db;
  db.Open(RangeDb(), kRangeChannels, false);
  const TBooleanArray sel = RangeSelection();
  const bool reuse = state.range(0) != 0;
  TCurves1DArray curves;
  HeapUse heap;
  if (reuse) {  // the storage exists before the timed loads
    heap.Start();
    db.LoadCurves(sel, curves, 1e9, 0);
    heap.Stop();
  }
  for (auto _ : state) {
    if (!reuse) {
      state.PauseTiming();
      TCurves1DArray().swap(curves);
      state.ResumeTiming();
    }
    heap.Start();
    db.LoadCurves(sel, curves, 1e9, 0);
    heap.Stop();
    benchmark::DoNotOptimize(curves.data());
  }
  heap.Report(state);
  state.SetLabel(reuse ? "curves reloaded" : "fresh curves");
  state.counters["points"] = static_cast<double>(curves.empty() ? 0 : curves[0].PointCount);
  state.counters["blocks"] = static_cast<double>(curves.empty() ? 0 : curves[0].BlockCount);
  state.SetBytesProcessed(state.iterations() * 1000000 * RecordSize(kRangeChannels));
}
BENCHMARK(BM_LoadCurves)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// --- writes -------------------------------------------------------------------------

constexpr int kBlock = 1000000;

void BM_Write_Baseline_SequentialWrite(benchmark::State& state) {
  const std::string path = Folder().path + "/plain.bin";
  const std::int64_t size = kBlock * RecordSize(kRangeChannels);
  std::vector<char> buf(512000, 'x');
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    for (std::int64_t off = 0; off < size;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), size - off));
      off += pwrite(fd, buf.data(), n, static_cast<off_t>(off));
    }
    fsync(fd);
    close(fd);
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Write_Baseline_SequentialWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AppendBlock(benchmark::State& state) {
  const std::string path = Folder().path + "/block.dat";
  TFileDataArray records(kBlock);
  for (int k = 0; k < kBlock; ++k) {
    records[static_cast<std::size_t>(k)].Time = kT0 + k * kMinute;
    records[static_cast<std::size_t>(k)].Values.assign(kRangeChannels, k * 0.5);
  }
  for (auto _ : state) {
    state.PauseTiming();
    TFRXDatabase db;
    db.Create(path, kRangeChannels);
    db.Open(path, kRangeChannels, true);
    state.ResumeTiming();
    db.AppendBlock(records, kBlock, 60, true);
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * kBlock * RecordSize(kRangeChannels));
}
BENCHMARK(BM_AppendBlock)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Append_Baseline_WriteAndFsync(benchmark::State& state) {
  const std::string path = Folder().path + "/one.bin";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  std::vector<char> rec(static_cast<std::size_t>(RecordSize(kRangeChannels)), 'x');
  off_t off = 0;
  for (auto _ : state) {
    off += pwrite(fd, rec.data(), rec.size(), off);
    fsync(fd);
  }
  close(fd);
  std::filesystem::remove(path);
}
BENCHMARK(BM_Append_Baseline_WriteAndFsync)->Unit(benchmark::kMicrosecond);

void BM_Append(benchmark::State& state) {
  const std::string path = Folder().path + "/append.dat";
  TFRXDatabase db;
  db.Create(path, kRangeChannels);
  db.Open(path, kRangeChannels, true);
  TFile_Data r;
  r.Values.assign(kRangeChannels, 1.5);
  int k = 0;
  for (auto _ : state) {
    r.Time = kT0 + (k++) * kMinute;
    db.Append(r, k == 1, 60);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_Append)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
