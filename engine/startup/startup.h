// Start-up of the setup engine: everything between process start and the
// first command of the script, and the clean-up after the interpreter.
//
// Steps, in order (each traced as the trace lines in startup.cpp show):
//   1 pin the process to the first processor      12 load the script
//   2 engine folder and base name                 13-14 support folder qelN
//   3 temporary folder                            15 unpack the support archive
//   4 message data appended to qel.lib            16 copy the .msi / .msp
//   5-6 command line                              17 preload the dialog pages
//   7-8 splash and preparation window             18 close the windows
//   9 from here to 20 one exception guard         19 run the interpreter
//  10-11 copy the appended script out             20-21 free, remove the support folder
//
// Exit codes: 13 no script appended, 14 support archive missing, 15 it
// cannot be unpacked, 16 neither .msi nor .msp beside the engine, 11 any
// other failure of steps 10 to 20 (after which the support folder is still
// removed), 314 an invalid script; otherwise the script's exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace engine {

struct Session;
struct Script;

inline constexpr int kExitRuntimeError = 11;
inline constexpr int kExitNoScript = 13;
inline constexpr int kExitNoResource = 14;
inline constexpr int kExitResourceDamaged = 15;
inline constexpr int kExitNoDatabase = 16;

// Seams for the parts later work fills in; each has a working default.
struct StartupHooks {
  // The engine file whose appended script runs; empty: this process's own
  // file (/proc/self/exe).  Tests run start-up in-process on a built setup.
  std::string enginePath;
  // Step 4: the message file copied out of qel.lib (host path).  Default:
  // the engine message table reads it.
  std::function<void(const std::string& hostPath)> loadMessages;
  // Step 17: the dialog subsystem, started with the support folder, then
  // asked to preload each enabled "Display Dialog" page (key = the
  // command's index in decimal, dfm = host path of the form text).
  // Default: nothing is preloaded yet.
  std::function<void(const std::string& supportFolder)> initDialogs;
  std::function<void(const std::string& key, const std::string& dfmHostPath)> preloadDialog;
  // Step 19: runs the script and returns the exit code.  Default: the
  // interpreter.
  std::function<int(Script&, Session&)> runScript;
  // After step 19: the engine cache.  Default: the choices file of the
  // engine cache is updated (engine_cache.h) when the interpreter ran.
  std::function<void(Session&)> writeEngineCache;
};

// Runs the whole engine for argv (argv[0] the program) and returns the
// exit code.  A QApplication must exist.
int RunEngine(const std::vector<std::string>& argv, const StartupHooks& hooks = {});

// Step 1: restricts the process to its first allowed processor; false when
// the system does not allow it (nothing changes then).
bool PinToFirstProcessor();

// The POSIX exit status of an exit code: its low 8 bits.  A code that does
// not fit is first written to standard error as "setupengine: exit code N".
int ExitStatus(int code);

// Counts the enabled "Display Dialog" commands (disabled flag not "C").
std::vector<int> EnabledDialogCommands(const Script& script);

}  // namespace engine
