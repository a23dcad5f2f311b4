// Registry costs against plain baselines measured in the same run:
//  - changing one value of a hive of N values, against writing the same
//    hive's bytes once with WriteFileAtomic (the least any durable change costs);
//  - reading a value, against reading the hive file's bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/base/files.h"
#include "platform/machine/machine.h"
#include "platform/machine/registry.h"

namespace {

using machine::RegRoot;
using machine::RegValue;

struct Fixture {
  std::string dir;
  std::unique_ptr<machine::Machine> m;
  explicit Fixture(int values) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "regbench-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    m = std::make_unique<machine::Machine>(dir + "/m");
    machine::Registry& r = m->registry();
    // Filled in one file write: build the text, then let the registry read it.
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Bench]\r\n";
    for (int i = 0; i < values; ++i)
      text += "\"value" + std::to_string(i) + "\"=\"C:\\\\Program Files\\\\Acme\\\\file" + std::to_string(i) + "\"\r\n";
    base::WriteFileAtomic(r.UserHivePath(m->profile().userName), text);
  }
  ~Fixture() {
    m.reset();
    std::filesystem::remove_all(dir);
  }
  std::string HivePath() const { return m->registry().UserHivePath(m->profile().userName); }
};

void BM_Baseline_WriteHiveBytes(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  std::string bytes = *base::ReadFileBytes(f.HivePath());
  std::string path = f.dir + "/copy.reg";
  for (auto _ : state) benchmark::DoNotOptimize(base::WriteFileAtomic(path, bytes));
}

void BM_Registry_SetValue(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  std::uint32_t n = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        f.m->registry().SetValue(RegRoot::CurrentUser, "Software\\Bench", "counter", RegValue::DWord(++n)));
}

void BM_Baseline_ReadHiveBytes(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(base::ReadFileBytes(f.HivePath()));
}

void BM_Registry_GetValue(benchmark::State& state) {
  Fixture f(static_cast<int>(state.range(0)));
  machine::RegValue v;
  for (auto _ : state)
    benchmark::DoNotOptimize(f.m->registry().GetValue(RegRoot::CurrentUser, "Software\\Bench", "value7", v));
}

}  // namespace

BENCHMARK(BM_Baseline_WriteHiveBytes)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Registry_SetValue)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_ReadHiveBytes)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Registry_GetValue)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
