// Script loading, parameter lookup and interpretation speed, each against a
// baseline measured in the same run.
//
//   BM_ReadAndSplitLines/200000    baseline: read the compiled file, split it into lines
//   BM_LoadAndValidate/200000      load (Windows-1252 -> UTF-8, lists, index) and validate
//   BM_ParamLookup/1000 vs /200000 one parameter read, same working set of commands
//   BM_ParamLookupWholeScript       one parameter read by a command anywhere in the script
//   BM_RunCoreCommands             1,000,000 executed commands: Set Variable with a
//                                  $NAME$ reference, If (false), End
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/script/interpreter.h"
#include "engine/script/tests/script_builder.h"
#include "engine/script/validation.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"

namespace fs = std::filesystem;

namespace {

std::string BenchDir() {
  // Kept alive until exit (never destroyed), removed by the exit handler.
  static const std::string* dir = [] {
    char tmpl[] = "/tmp/script-bench-XXXXXX";
    auto* d = new std::string(mkdtemp(tmpl));
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(*dir, ec);
    });
    return d;
  }();
  return *dir;
}

// A script of n commands in blocks of five: Set Variable, If, MessageBox,
// End, Comment.
std::string MakeScript(int n) {
  std::vector<scripttest::Command> cmds;
  cmds.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    scripttest::Command c;
    c.hasRecord = true;
    switch (i % 5) {
      case 0: c.name = "Set Variable"; c.params = {"VAR" + std::to_string(i), "value $TITLE$ " + std::to_string(i)}; break;
      case 1: c.name = "If"; c.params = {"VAR" + std::to_string(i - 1), "0", "x", "FALSE"}; break;
      case 2: c.name = "MessageBox"; c.params = {"$TITLE$", "Text " + std::to_string(i), "0", "1", ""}; break;
      case 3: c.name = "End"; c.hasRecord = false; break;
      default: c.name = "Comment"; c.params = {"comment " + std::to_string(i)}; break;
    }
    cmds.push_back(std::move(c));
  }
  return scripttest::Compile(cmds);
}

std::string ScriptFile(int n) {
  std::string path = BenchDir() + "/script" + std::to_string(n) + ".tmp";
  if (!fs::exists(path)) std::ofstream(path, std::ios::binary) << MakeScript(n);
  return path;
}

void BM_ReadAndSplitLines(benchmark::State& state) {
  std::string path = ScriptFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto bytes = base::ReadFileBytes(path);
    std::vector<std::string> lines = base::SplitLines(*bytes);
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadAndSplitLines)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_LoadAndValidate(benchmark::State& state) {
  std::string path = ScriptFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    engine::Script s = engine::LoadScript(path);
    engine::Variables vars;
    engine::ValidationResult r = engine::ValidateScript(s, vars);
    if (!r.ok()) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(s.Count());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadAndValidate)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ParamLookup(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  engine::Script s = engine::LoadScript(ScriptFile(n));
  // The same working set for both sizes: 64 commands spread evenly over
  // the script, read in a shuffled order, all of them "Set Variable" so
  // that both read the same kind of value.  (BM_ParamLookupWholeScript reads
  // anywhere in the script and so also measures the memory hierarchy.)
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> pick(0, 63);
  std::vector<int> order(4096);
  for (int& i : order) i = static_cast<int>(static_cast<long long>(pick(rng)) * n / 64) / 5 * 5;
  std::size_t k = 0;
  for (auto _ : state) {
    std::string p = s.Param(order[k++ & 4095], 2);
    benchmark::DoNotOptimize(p.data());
  }
}
BENCHMARK(BM_ParamLookup)->Arg(1000)->Arg(200000);

void BM_ParamLookupWholeScript(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  engine::Script s = engine::LoadScript(ScriptFile(n));
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::vector<int> order(1 << 16);
  for (int& i : order) i = pick(rng) / 5 * 5;
  std::size_t k = 0;
  for (auto _ : state) {
    std::string p = s.Param(order[k++ & 0xFFFF], 2);
    benchmark::DoNotOptimize(p.data());
  }
}
BENCHMARK(BM_ParamLookupWholeScript)->Arg(1000)->Arg(200000);

void BM_RunCoreCommands(benchmark::State& state) {
  setenv("SETUPENGINE_MACHINE", (BenchDir() + "/machine").c_str(), 1);
  machine::Machine::ResetCurrent();
  machine::Machine& m = machine::Machine::Current();
  fs::create_directories(BenchDir() + "/support");
  std::ofstream(BenchDir() + "/support/setup.msi") << "db";

  const int triples = 1000000 / 3 + 1;  // 1,000,002 executed commands
  std::vector<scripttest::Command> cmds;
  auto add = [&](const char* name, std::vector<std::string> params) {
    scripttest::Command c;
    c.name = name;
    c.hasRecord = !params.empty();
    c.params = std::move(params);
    cmds.push_back(std::move(c));
  };
  add("Set Variable", {"Y", "y"});
  for (int i = 0; i < triples; ++i) {
    add("Set Variable", {"X", "$Y$ and more"});
    add("If", {"X", "0", "q", "FALSE"});
    add("End", {});
  }
  engine::Script script = engine::ParseScriptText(scripttest::Compile(cmds));
  const long long executed = 1 + 3LL * triples;
  for (auto _ : state) {
    engine::Session session;
    session.supportFolder = m.ToWindows(BenchDir() + "/support/");
    session.installerDatabase = session.supportFolder + "setup.msi";
    engine::Interpreter in(script, session);
    in.Run();
    if (!in.LastRuntimeError().empty()) state.SkipWithError(in.LastRuntimeError().c_str());
  }
  state.SetItemsProcessed(state.iterations() * executed);
}
BENCHMARK(BM_RunCoreCommands)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
