// The script interpreter: runs a compiled script from its first command to
// its last.  See README.md for the state tables of the main loop and the
// wizard loop.
//
// Invariants:
//  1. Nothing runs unless the script validates; an invalid script gives 314
//     and shows nothing.
//  2. Every command of the command table either runs, or ends the script
//     with a runtime error that names it.  Only names outside the table
//     (and outside the plug-in list) are no-ops.
//  3. A command that throws ends the script with one message box
//     "Runtime error in setup script:" CR CR "Line <n>: <message>" (not in
//     silent mode); the exit code keeps its value.
//  4. Skips never run past the end of the command list silently: a skip
//     that finds no stop is a runtime error.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/script/pages.h"
#include "engine/script/script.h"
#include "engine/script/session.h"
#include "engine/script/variables.h"

namespace engine {

inline constexpr int kExitInvalidScript = 314;

// What the engine cache (bootstrap, per-step refresh, the write after the
// run) may read and change of one run.  The script's identity (product
// code, revision code, title) and its size table are engine-wide values the
// bootstrap may replace.
struct RunContext {
  Script& script;
  Session& session;
  Variables& vars;
  std::vector<std::string>& persistent;  // names kept in the choices file, upper case
  std::vector<std::pair<std::string, std::string>>& propertyLog;
  std::string& platformMode;             // "Win32", "ia64", "x64"
};

class Interpreter {
 public:
  Interpreter(Script& script, Session& session);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Validates, prepares, runs; returns the exit code (also in
  // session.exitCode).  314 for an invalid script, with nothing run.
  int Run();

  // Optional seams.  With no page host, page commands are runtime errors.
  void SetPageHost(PageHost* host);
  // Called before each command with the program counter; false stops.
  void SetStepCallback(std::function<bool(int)> cb);
  // Asks for the setup-sources folder (Windows form); nullopt = cancelled.
  // Without one, the question counts as cancelled.
  void SetSourcesPrompt(std::function<std::optional<std::string>(std::string_view prompt)> prompt);
  // Runs the cache bootstrap (instance record, product state); without one
  // the run is a first-time installation.
  void SetBootstrap(std::function<void(RunContext&)> bootstrap);
  // Called before every command, after LOGGED, SILENT, DATE and TIME were
  // refreshed: the cache override check and the recomputation of
  // UNINSTALLLINK and ENGINECACHE.
  void SetStepRefresh(std::function<void(RunContext&)> refresh);
  // The run's state for the engine cache (valid while the interpreter lives).
  RunContext Context();

  // Translation of script texts (the language files); without one, texts
  // are used as written.
  void SetTranslator(std::function<std::optional<std::string>(std::string_view key, int position)> translate);

  // Names of the variables "Set Variable" marked persistent, in order.
  const std::vector<std::string>& PersistentVariables() const;
  // The run's installer property pairs (change markers first).
  const std::vector<std::pair<std::string, std::string>>& PropertyLog() const;
  Variables& variables();
  const std::string& PlatformMode() const;
  // Why the last run stopped on a runtime error (empty when it did not).
  const std::string& LastRuntimeError() const;
  int LastRuntimeErrorLine() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace engine
