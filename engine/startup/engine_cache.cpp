// The engine cache bootstrap, per-step refresh, relocation and after-run
// write (see engine_cache.h).
//
// Bootstrap steps, in order:
//   1 "instance.dat" beside the engine replaces product code, revision code, title
//   2 PRODUCTCODE, REVISIONCODE
//   3 default target folder
//   4 ENGINECACHE, UNINSTALLLINK (all users when administrator)
//   5 DATADIR
//   6 installed state -> NEEDSUPGRADE, MAINTENANCE
//   7 maintenance: stored choices and ".par"; otherwise the defaults, then the
//     choices of this revision when there are any
//   8 upgrade with #LOADOLDDATA# "TRUE": the old revision's choices, sizes discarded
//   9 NEWINSTANCE
//
// Relocation (OVERRIDECACHE not empty and not the last accepted value):
//   create the missing folders of the new base --fails--> remove them, OVERRIDECACHE ""
//                                               --works--> OVERRIDECACHE = base with "\",
//   bootstrap again, remember the value, remove the test folders (empty ones, last first)
#include "engine/startup/engine_cache.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/script/script.h"
#include "engine/script/session.h"
#include "engine/script/variables.h"
#include "engine/startup/cache_files.h"
#include "engine/startup/choices_file.h"
#include "engine/startup/folder_attributes.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/installer_service.h"
#include "platform/machine/machine.h"
#include "platform/machine/registry.h"
#include "platform/machine/shell_folders.h"
#include "platform/machine/winpath.h"

namespace engine {

namespace fs = std::filesystem;
using machine::RegRoot;

namespace {

constexpr const char* kBootstrap = "Bootstrap";
constexpr const char* kLoadComponents = "LoadComponents";
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Slash(const std::string& folder) { return machine::IncludeTrailingBackslash(folder); }

// "C:\a\b\" -> "C:\a\"; the last folder name of "C:\a\b\" is "b".
std::string ParentFolder(const std::string& folder) {
  return machine::ExtractFilePath(machine::ExcludeTrailingBackslash(folder));
}
std::string LastFolderName(const std::string& folder) {
  return machine::ExtractFileName(machine::ExcludeTrailingBackslash(folder));
}

void AddPersistent(std::vector<std::string>& list, const std::string& name) {
  std::string upper = base::UpperCase(name);
  if (std::find(list.begin(), list.end(), upper) == list.end()) list.push_back(std::move(upper));
}

bool IsPlatformMode(const std::string& v) { return v == "Win32" || v == "ia64" || v == "x64"; }

// The program of a command line: the text in its leading quotes, else all of it.
std::string CommandProgram(const std::string& command) {
  std::string t = base::Trim(command);
  if (!t.empty() && t.front() == '"') {
    const std::size_t end = t.find('"', 1);
    return t.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return t;
}

}  // namespace

EngineCache::EngineCache(machine::Machine& m) : m_(m) {}

void EngineCache::Attach(Interpreter& interpreter) {
  interpreter.SetBootstrap([this](RunContext& c) { Bootstrap(c); });
  interpreter.SetStepRefresh([this](RunContext& c) { Refresh(c); });
}

std::string EngineCache::RegisteredCacheFolder(const std::string& productCode) const {
  if (productCode.empty()) return {};
  const std::string key = kCacheRegistryKey + productCode;
  for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
    std::string v = m_.registry().ReadString(root, key, "");
    if (!v.empty()) return v;
  }
  return {};
}

std::string EngineCache::CacheBase(const RunContext& c, bool allUsers) const {
  const std::string override = c.vars.Get("OVERRIDECACHE");
  if (!override.empty()) return Slash(override);

  const std::string key = kCacheRegistryKey + c.script.productCode;
  if (!c.script.productCode.empty()) {
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
      const std::string v = m_.registry().ReadString(root, key, "");
      if (!v.empty() && base::SameText(LastFolderName(v), c.script.revisionCode) && !ParentFolder(v).empty())
        return Slash(ParentFolder(v));
    }
  }

  if (!m_.IsNT()) return machine::ShellFolderPath(m_, machine::csidl::kProgramFilesCommon);
  if (allUsers) {
    std::string f = machine::ShellFolderPath(m_, machine::csidl::kCommonAppData);
    if (!f.empty()) return f;
  }
  for (int csidl : {machine::csidl::kLocalAppData, machine::csidl::kAppData}) {
    std::string f = machine::ShellFolderPath(m_, csidl);
    if (!f.empty()) return f;
  }
  std::string desktop = machine::ShellFolderPath(m_, machine::csidl::kDesktopDirectory);
  return desktop.empty() ? std::string() : ParentFolder(desktop) + "Application Data\\";
}

std::string EngineCache::UninstallFolder(const RunContext& c, bool allUsers) const {
  const RegRoot root = allUsers ? RegRoot::LocalMachine : RegRoot::CurrentUser;
  const std::string command = m_.registry().ReadString(root, kUninstallKey + c.script.title, "UninstallString");
  const std::string folder = machine::ExtractFilePath(CommandProgram(command));
  return folder.empty() ? folder : Slash(folder);
}

std::string EngineCache::BootstrapCacheFolder(const RunContext& c, bool allUsers) const {
  std::string name = c.script.revisionCode;
  if (c.script.mediaMode == 3) {
    const std::string installed = LastFolderName(UninstallFolder(c, allUsers));
    if (!installed.empty()) name = installed;
  }
  return CacheBase(c, allUsers) + name + "\\";
}

std::string EngineCache::StepCacheFolder(const RunContext& c, bool allUsers) const {
  if (c.script.mediaMode == 3) {
    std::string installed = UninstallFolder(c, allUsers);
    if (!installed.empty()) return installed;
  }
  return CacheBase(c, allUsers) + c.script.revisionCode + "\\";
}

std::string EngineCache::ChoicesHostPath(const RunContext& c, const std::string& cacheFolder) const {
  const std::string host = m_.ToHost(cacheFolder + c.session.baseName + ".dat");
  return host;
}

bool EngineCache::PerUserChoicesMissing(const RunContext& c) const {
  const std::string host = ChoicesHostPath(c, BootstrapCacheFolder(c, false));
  return host.empty() || !base::FileExists(host);
}

std::string EngineCache::DefaultTargetDir(const RunContext& c) const {
  const machine::Profile& p = m_.profile();
  std::string base;
  if (p.isAdmin || !p.IsNT()) {
    base = machine::ShellFolderPath(m_, machine::csidl::kProgramFiles);
  } else {
    base = ParentFolder(machine::ShellFolderPath(m_, machine::csidl::kPersonal));
  }
  return Slash(base) + c.script.title + "\\";
}

void EngineCache::ApplyChoices(RunContext& c, const ChoicesData& d, ChoicesMode mode) {
  if (d.hasLists) {
    ComponentTables& t = c.session.components;
    t.names = d.names;
    t.states = d.states;
    t.deleted = d.deleted;
    t.hidden = d.hidden;
    t.locked = d.locked;
    if (mode == ChoicesMode::kAll) c.script.componentSizes = d.sizes;
  }
  if (d.targetDir) c.vars.Define("TARGETDIR", *d.targetDir, kLoadComponents);
  if (d.allUsers) c.vars.Define("ALLUSERS", *d.allUsers, kLoadComponents);
  if (d.startMenu) c.vars.Define("STARTMENU", *d.startMenu, kLoadComponents);
  for (const auto& [name, value] : d.pairs) {
    if (base::SameText(name, kPlatformModeName)) {
      if (IsPlatformMode(value)) c.platformMode = value;
      continue;
    }
    c.vars.Define(name, value, kLoadComponents);
    if (!base::SameText(name, kOverrideCacheName)) AddPersistent(c.persistent, name);
  }
}

ChoicesData EngineCache::CurrentChoices(const RunContext& c) const {
  ChoicesData d;
  d.hasLists = true;
  const ComponentTables& t = c.session.components;
  d.names = t.names;
  d.states = t.states;
  d.deleted = t.deleted;
  d.hidden = t.hidden;
  d.locked = t.locked;
  d.sizes = c.script.componentSizes;
  d.targetDir = c.vars.Get("TARGETDIR");
  d.allUsers = c.vars.Get("ALLUSERS");
  d.startMenu = c.vars.Get("STARTMENU");
  const std::string dataDir = c.vars.Get("DATADIR");
  d.dataFolder = DataFolderLine(dataDir.empty() ? dataDir : m_.ToWindows(dataDir));
  for (const std::string& name : c.persistent) {
    if (base::SameText(name, kPlatformModeName) || base::SameText(name, kOverrideCacheName)) continue;
    d.pairs.emplace_back(name, c.vars.Get(name));
  }
  d.pairs.emplace_back(kPlatformModeName, c.platformMode);
  d.pairs.emplace_back(kOverrideCacheName, c.vars.Get(kOverrideCacheName));
  return d;
}

void EngineCache::LoadOldChoices(RunContext& c) {
  const std::string folder = RegisteredCacheFolder(c.script.productCode);
  const std::string host = folder.empty() ? std::string() : m_.ToHost(Slash(folder));
  std::error_code ec;
  if (host.empty() || !fs::is_directory(host, ec)) return;
  std::vector<fs::path> dats;
  for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (!it->is_regular_file(ec) || !base::SameText(p.extension().string(), ".dat")) continue;
    if (base::SameText(p.filename().string(), "instance.dat")) continue;
    dats.push_back(p);
  }
  std::sort(dats.begin(), dats.end());
  std::optional<fs::path> chosen;
  if (dats.size() == 1) chosen = dats.front();
  for (std::size_t i = 0; !chosen && i < dats.size(); ++i) {
    const fs::path& d = dats[i];
    const fs::path stem = d.parent_path() / d.stem();
    auto has = [&](const char* ext) { return fs::exists(fs::path(stem.string() + ext), ec); };
    // The engine itself: base name + ".exe", or the base name alone (an
    // executable without extension, as on this host).
    const bool engine = has(".exe") || fs::is_regular_file(stem, ec);
    if (engine && has(".res") && has(".msi") && has(".par")) chosen = d;
  }
  if (!chosen) return;
  if (auto data = ReadChoicesFile(chosen->string())) ApplyChoices(c, *data, ChoicesMode::kKeepSizes);
}

void EngineCache::Bootstrap(RunContext& c) {
  const machine::Profile& p = m_.profile();
  const bool admin = p.isAdmin;
  Variables& v = c.vars;

  // 1. The instance record beside the engine.
  const std::string instanceHost = m_.ToHost(c.session.engineFolder + "instance.dat");
  instanceBeside_ = !instanceHost.empty() && base::FileExists(instanceHost);
  if (instanceBeside_) {
    InstanceRecord r{c.script.productCode, c.script.revisionCode, c.script.title};
    if (ReadInstanceRecord(instanceHost, r)) {
      c.script.productCode = r.productCode;
      c.script.revisionCode = r.revisionCode;
      c.script.title = r.title;
    }
  }

  // 2.-5.
  v.Define("PRODUCTCODE", c.script.productCode, kBootstrap);
  v.Define("REVISIONCODE", c.script.revisionCode, kBootstrap);
  const std::string target = DefaultTargetDir(c);
  const std::string cache = BootstrapCacheFolder(c, admin);
  v.Define("UNINSTALLLINK", cache + machine::ExtractFileName(c.session.exePath), kBootstrap);
  v.Define("ENGINECACHE", cache, kBootstrap);
  v.Define("DATADIR", c.script.mediaMode == 2 ? cache : c.session.dataFolder, kBootstrap);

  // 6. Installed state.
  bool upgrade = false, maintenance = false;
  machine::InstallerService installer(m_);
  if (installer.QueryProductState(c.script.productCode) == machine::kInstallStateDefault) {
    std::string package;
    if (installer.GetProductInfo(c.script.productCode, "PackageCode", package) == machine::kInstallerOk) {
      maintenance = base::SameText(package, c.script.revisionCode);
      upgrade = !maintenance;
    }
  }
  v.Define("NEEDSUPGRADE", base::BoolText(upgrade), kBootstrap);
  v.Define("MAINTENANCE", base::BoolText(maintenance), kBootstrap);

  // 7. The stored choices, found in the all-users cache unless this user
  // has a choices file of this revision of his own.
  const std::string stored = BootstrapCacheFolder(c, admin || PerUserChoicesMissing(c));
  const std::string choicesHost = ChoicesHostPath(c, stored);
  if (maintenance) {
    if (auto data = ReadChoicesFile(choicesHost)) ApplyChoices(c, *data, ChoicesMode::kAll);
    const std::string par = m_.ToHost(stored + c.session.baseName + ".par");
    if (par != propertyLogLoaded_ && ReadPropertyLog(par, c.propertyLog)) propertyLogLoaded_ = par;
  } else {
    ComponentTables& t = c.session.components;
    t.Clear();
    t.names.Add(kReservedComponent);
    t.states.Add("TRUE");
    if (c.script.componentSizes.IndexOf(kReservedComponent) < 0) {
      c.script.componentSizes.Add(kReservedComponent);
      c.script.componentSizes.Add("0");
    }
    c.propertyLog.clear();
    propertyLogLoaded_.clear();
    v.Define("TARGETDIR", target, kBootstrap);
    v.Define("STARTMENU", c.script.title, kBootstrap);
    v.Define("ALLUSERS", base::BoolText(admin && p.IsNT()), kBootstrap);
    if (auto data = ReadChoicesFile(choicesHost)) ApplyChoices(c, *data, ChoicesMode::kAll);
  }

  // 8. An upgrade that carries the earlier choices over.
  if (upgrade && base::SameText(c.script.CompilerVariable("LOADOLDDATA"), "TRUE")) LoadOldChoices(c);

  // 9.
  v.Define("NEWINSTANCE", base::BoolText(!instanceBeside_ && (maintenance || upgrade)), "Initialization");
}

void EngineCache::Relocate(RunContext& c, const std::string& value) {
  const std::string base = Slash(value);
  std::vector<fs::path> created;
  bool ok = false;
  const std::string host = m_.ToHost(base);
  std::error_code ec;
  if (!host.empty()) {
    std::vector<fs::path> missing;
    fs::path p = fs::path(host).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();
    while (!p.empty() && !fs::exists(p, ec)) {
      missing.push_back(p);
      if (p.parent_path() == p) break;
      p = p.parent_path();
    }
    ok = p.empty() || fs::is_directory(p, ec);
    for (auto it = missing.rbegin(); ok && it != missing.rend(); ++it) {
      if (fs::create_directory(*it, ec) && !ec)
        created.push_back(*it);
      else
        ok = false;
    }
  }
  auto removeCreated = [&] {
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
      std::error_code e;
      if (fs::is_empty(*it, e)) fs::remove(*it, e);
    }
  };
  if (!ok) {
    removeCreated();
    // Put, not Set: a value from the command line of a silent run would
    // otherwise survive its own failure and stay the cache base.
    c.vars.Put(kOverrideCacheName, "");
    acceptedOverride_.clear();
    return;
  }
  c.vars.Set(kOverrideCacheName, base, kSourceCommandLine);
  acceptedOverride_ = base;
  Bootstrap(c);
  removeCreated();
}

void EngineCache::Refresh(RunContext& c) {
  const std::string override = c.vars.Get(kOverrideCacheName);
  if (!override.empty() && override != acceptedOverride_) Relocate(c, override);
  const bool allUsers = base::IsTrueText(c.vars.Get("ALLUSERS"));
  const std::string cache = StepCacheFolder(c, allUsers);
  c.vars.Define("UNINSTALLLINK", cache + machine::ExtractFileName(c.session.exePath), kBootstrap);
  c.vars.Define("ENGINECACHE", cache, kBootstrap);
}

void EngineCache::WriteAfterRun(RunContext& c) {
  if (c.persistent.empty()) return;
  const std::string folder = Slash(c.vars.Get("ENGINECACHE"));
  const std::string host = folder.empty() ? folder : m_.ToHost(folder);
  if (host.empty() || !base::ForceDirectories(host)) return;
  MarkFolderHidden(m_, folder);
  SetFolderCompression(m_, folder, base::IsTrueText(c.vars.Get("ZEKO_COMPRESS_INSTALLER_CACHE")));
  UpdateChoicesFile(ChoicesHostPath(c, folder), CurrentChoices(c));
}

bool EngineCache::UpdateSetupCache(RunContext& c, bool advertised) {
  const std::string folder = Slash(c.vars.Get("ENGINECACHE"));
  const std::string host = folder.empty() ? folder : m_.ToHost(folder);
  if (host.empty() || !base::ForceDirectories(host)) return false;
  const bool compress = base::IsTrueText(c.vars.Get("ZEKO_COMPRESS_INSTALLER_CACHE"));
  MarkFolderHidden(m_, folder);
  SetFolderCompression(m_, folder, compress);

  bool ok = true;
  std::error_code ec;
  auto copyIn = [&](const std::string& windowsSource, const std::string& name) {
    const std::string src = m_.ToHost(windowsSource);
    if (src.empty() || !base::FileExists(src)) return;
    const fs::path dest = fs::path(host) / name;
    if (fs::exists(dest, ec) && fs::equivalent(src, dest, ec)) return;  // running from the cache
    if (!fs::copy_file(src, dest, fs::copy_options::overwrite_existing, ec)) ok = false;
  };
  const std::string exeName = machine::ExtractFileName(c.session.exePath);
  copyIn(c.session.exePath, exeName);
  copyIn(c.session.engineFolder + c.session.baseName + ".res", c.session.baseName + ".res");
  copyIn(c.session.installerDatabase, c.session.baseName + ".msi");

  const std::string stem = host + "/" + c.session.baseName;
  ok = WriteChoicesFile(stem + ".dat", CurrentChoices(c)) && ok;
  ok = WritePropertyLog(stem + ".par", c.propertyLog) && ok;
  ok = WriteLanguageFile(stem + ".lan", c.vars.Get("LANGUAGE")) && ok;
  ok = WriteInstanceRecord(host + "/instance.dat",
                           InstanceRecord{c.script.productCode, c.script.revisionCode, c.script.title}) &&
       ok;

  const RegRoot root = base::IsTrueText(c.vars.Get("ALLUSERS")) ? RegRoot::LocalMachine : RegRoot::CurrentUser;
  if (!c.script.productCode.empty())
    ok = m_.registry().SetValue(root, kCacheRegistryKey + c.script.productCode, "", machine::RegValue::String(folder)) ==
             machine::kRegOk &&
         ok;

  const fs::path marker = fs::path(host) / "__ad";
  if (advertised) {
    fs::create_directories(marker, ec);
    SetFolderCompression(m_, folder + "__ad\\", compress);
  } else {
    fs::remove_all(marker, ec);
  }
  return ok;
}

void EngineCache::RemoveCacheRecords(const RunContext& c) {
  if (c.script.productCode.empty()) return;
  for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser})
    m_.registry().DeleteKey(root, kCacheRegistryKey + c.script.productCode);
}

}  // namespace engine
