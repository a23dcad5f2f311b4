// The engine cache: a private folder per product revision that keeps a
// copy of the setup and the user's choices, so that an installed product
// can be maintained and removed without its medium.  This file finds that
// folder, tells a first installation, maintenance and an upgrade apart
// (the bootstrap), keeps ENGINECACHE and UNINSTALLLINK current before every
// command, moves the cache when OVERRIDECACHE asks for it, and writes the
// choices file after the run.
//
// Cache base (the parent of every product's cache folder):
//   1. OVERRIDECACHE when set;
//   2. else the folder registered under HKLM, then HKCU,
//      "SOFTWARE\Tolbrook\Corvane\Ident.Cache\<product code>" (default
//      value), when its last folder name is the revision code: its parent;
//   3. else a shell folder: NT all users the common application data, else
//      the local application data, then the roaming one, then the parent of
//      the desktop + "Application Data\"; 9x the common program files.
// Engine cache folder: base + revision code + "\" (media mode 3: the folder
// of the installed product's registered uninstall command).
//
// Invariants:
//  1. Registry and file problems never stop a run: a failed lookup gives
//     empty text or "FALSE", an unreadable choices file keeps the defaults.
//  2. A relocation that cannot create the new base reverts OVERRIDECACHE to
//     empty and leaves no folder behind; one that can removes the folders
//     it made for the test (only empty ones, last made first).
//  3. The registry is only read here; the cache key is written by the
//     installation and removed with the product.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/script/interpreter.h"

namespace machine {
class Machine;
}

namespace engine {

struct ChoicesData;

inline constexpr const char* kCacheRegistryKey = "SOFTWARE\\Tolbrook\\Corvane\\Ident.Cache\\";
inline constexpr const char* kReservedComponent = "ZEKO-PREDEF-COMPONENT";

// How a stored choices file is applied.
enum class ChoicesMode {
  kAll,          // component tables, size table, the three values, the pairs
  kKeepSizes,    // the same, but the stored size table is discarded (upgrade)
};

class EngineCache {
 public:
  explicit EngineCache(machine::Machine& m);

  // Installs Bootstrap and Refresh into the interpreter.
  void Attach(Interpreter& interpreter);

  // Identity, cache folders, installed state, the stored choices.
  void Bootstrap(RunContext& c);
  // Before every command: the relocation check, then ENGINECACHE and
  // UNINSTALLLINK from the current ALLUSERS.
  void Refresh(RunContext& c);
  // After the run: when there are persistent variables, the cache folder
  // is created (recorded hidden, compression as ZEKO_COMPRESS_INSTALLER_CACHE
  // says) and the choices file updated.
  void WriteAfterRun(RunContext& c);

  // After an installation ("Apply Changes" done or needing a reboot): fills
  // the cache folder ENGINECACHE with the setup (engine, ".res", the
  // installer database the run used), the choices file (written whole),
  // ".par", ".lan", "instance.dat", records it under the cache registry key
  // (HKLM when ALLUSERS is true, else HKCU), and creates the "__ad" marker
  // folder after an advertising run or removes it after any other.  A file
  // that already is the cache's copy (a run from the cache) is not copied
  // onto itself.  False when the folder cannot be made or a file written.
  bool UpdateSetupCache(RunContext& c, bool advertised);
  // After a removal: the cache registry key goes from both roots.
  void RemoveCacheRecords(const RunContext& c);

  std::string CacheBase(const RunContext& c, bool allUsers) const;
  // Whether the current user's choices file of this revision is missing.
  bool PerUserChoicesMissing(const RunContext& c) const;
  // The registered cache folder of the product code (HKLM, then HKCU), as
  // stored; empty when there is none.
  std::string RegisteredCacheFolder(const std::string& productCode) const;

  // Applies a choices file to the run.
  static void ApplyChoices(RunContext& c, const ChoicesData& data, ChoicesMode mode);
  // The run's choices as the file keeps them.
  ChoicesData CurrentChoices(const RunContext& c) const;

  bool InstanceRecordBeside() const { return instanceBeside_; }
  const std::string& AcceptedOverride() const { return acceptedOverride_; }

 private:
  std::string DefaultTargetDir(const RunContext& c) const;
  std::string UninstallFolder(const RunContext& c, bool allUsers) const;
  std::string BootstrapCacheFolder(const RunContext& c, bool allUsers) const;
  std::string StepCacheFolder(const RunContext& c, bool allUsers) const;
  std::string ChoicesHostPath(const RunContext& c, const std::string& cacheFolder) const;
  void LoadOldChoices(RunContext& c);
  void Relocate(RunContext& c, const std::string& value);

  machine::Machine& m_;
  bool instanceBeside_ = false;
  std::string acceptedOverride_;
  std::string propertyLogLoaded_;  // the .par already read into the log
};

}  // namespace engine
