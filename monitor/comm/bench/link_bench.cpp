// Link benchmarks.
//
// PostProcess / CollectAndPostProcess: CPU per logger line of the pure
// reply collection and post-processing, against a plain copy of the same
// bytes (the baseline).  Complexity fits show the growth in N.
// PtyTransfer vs PtyRawRead: a whole logger transfer from a kv90sim process
// over a pseudo-terminal through the polling thread, against reading the
// same stream with bare read() calls.  Process CPU time only counts this
// process (the simulator is another).
// IdleLink: processor share of an open link with nothing to send, measured
// with getrusage over 10 s.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "monitor/comm/serial.h"
#include "monitor/comm/serial_port.h"
#include "monitor/comm/wire.h"

extern char** environ;

using namespace kv90::comm;

namespace {
constexpr int kL = 46;  // the simulator's default line length

Bytes MakeStream(long lines) {
  Bytes s = Bytes("\xFB\x41\x00\x03\xFF\xFF", 6);
  for (long i = 0; i < lines; ++i) {
    Bytes line(kL - 6, static_cast<char>(i & 0x7F));
    const std::uint16_t sum = Sum16(line);
    line.push_back(static_cast<char>(sum & 0xFF));
    line.push_back(static_cast<char>(sum >> 8));
    for (unsigned char b : i + 1 == lines ? kEndMarker : kSegmentMarker) line.push_back(static_cast<char>(b));
    s += line;
  }
  return s;
}

void BM_CopyStream(benchmark::State& st) {
  const Bytes s = MakeStream(st.range(0));
  for (auto _ : st) {
    Bytes copy(s);
    benchmark::DoNotOptimize(copy.data());
  }
  st.SetComplexityN(st.range(0));
  st.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(st.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PostProcess(benchmark::State& st) {
  const Bytes s = MakeStream(st.range(0));
  for (auto _ : st) {
    std::uint32_t dropped = 0;
    Bytes out = PostProcessStream(s, kL, dropped);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetComplexityN(st.range(0));
  st.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(st.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_CollectAndPostProcess(benchmark::State& st) {
  const Bytes s = MakeStream(st.range(0));
  for (auto _ : st) {
    ReplyCollector c;
    c.Begin({251, kFuncBlock, kSubLogger, kL, 0});
    std::size_t at = 0;
    auto o = ReplyCollector::Outcome::NeedMore;
    while (o == ReplyCollector::Outcome::NeedMore) {
      const auto n = static_cast<std::size_t>(c.Want());
      o = c.Feed(std::string_view(s).substr(at, n));
      at += n;
    }
    std::uint32_t dropped = 0;
    Bytes out = PostProcessStream(c.block(), kL, dropped);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetComplexityN(st.range(0));
  st.counters["ns_per_line"] = benchmark::Counter(static_cast<double>(st.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A kv90sim child process serving `lines` memory lines.
struct SimProcess {
  pid_t pid = -1;
  std::string device;
  explicit SimProcess(long lines) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const std::string n = std::to_string(lines);
    const char* argv[] = {KV90SIM_PATH, "--lines", n.c_str(), nullptr};
    if (posix_spawn(&pid, KV90SIM_PATH, &fa, nullptr, const_cast<char**>(argv), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') device.push_back(c);
    close(out[0]);
  }
  ~SimProcess() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

void BM_PtyTransfer(benchmark::State& st) {
  SimProcess sim(st.range(0));
  TSerial link(TCommOptions{}, sim.device);
  std::size_t size = 0;
  for (auto _ : st) {
    if (!link.StartRequest(251, kFuncBlock, kSubLogger, kL, 0)) st.SkipWithError("start");
    for (;;) {
      link.PollResult();
      if (link.Status() == 2 && link.ThreadState() == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (link.ResultError() != 0) st.SkipWithError(LinkErrorText(link.ResultError()));
    size = link.BlockData().size();
    link.MarkConsumed();
  }
  st.SetComplexityN(st.range(0));
  st.counters["bytes"] = static_cast<double>(size);
  st.counters["cpu_per_line"] = benchmark::Counter(static_cast<double>(st.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_PtyRawRead(benchmark::State& st) {
  SimProcess sim(st.range(0));
  TPosixSerialPort port(sim.device, 9600);
  const std::size_t total = 6 + static_cast<std::size_t>(st.range(0)) * kL;
  for (auto _ : st) {
    port.PurgeAll();
    port.WriteFrame(BuildFrame({251, kFuncBlock, kSubLogger, kL, 0}));
    std::size_t got = 0;
    Bytes chunk;
    while (got < total) {
      const std::size_t n = port.BytesAvailable();
      if (n == 0) {
        port.WaitReadable(5);
        continue;
      }
      port.ReadBytes(n, chunk);
      got += n;
    }
  }
  st.SetComplexityN(st.range(0));
  st.counters["cpu_per_line"] = benchmark::Counter(static_cast<double>(st.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
}

void BM_IdleLink(benchmark::State& st) {
  SimProcess sim(10);
  for (auto _ : st) {
    TSerial link(TCommOptions{}, sim.device);
    const double c0 = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double c1 = CpuSeconds();
    st.counters["cpu_percent_of_one_core"] = (c1 - c0) / 10.0 * 100.0;
  }
}
}  // namespace

BENCHMARK(BM_CopyStream)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);
BENCHMARK(BM_PostProcess)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);
BENCHMARK(BM_CollectAndPostProcess)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);
BENCHMARK(BM_PtyRawRead)->Arg(10000)->Arg(30000)->Arg(100000)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(2)->Complexity(benchmark::oN);
BENCHMARK(BM_PtyTransfer)->Arg(10000)->Arg(30000)->Arg(100000)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(2)->Complexity(benchmark::oN);
BENCHMARK(BM_IdleLink)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
