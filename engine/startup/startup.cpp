// Start-up steps: see startup.h.
#include "engine/startup/startup.h"

#include <dlfcn.h>
#include <sched.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "engine/media/archive.h"
#include "engine/media/qel/qel.h"
#include "engine/script/interpreter.h"
#include "engine/script/script.h"
#include "engine/script/session.h"
#include "engine/startup/command_line.h"
#include "engine/startup/engine_cache.h"
#include "engine/startup/messages.h"
#include "engine/startup/overlay.h"
#include "engine/startup/setup_windows.h"
#include "engine/startup/trace_log.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/message_box.h"
#include "platform/machine/registry.h"
#include "platform/machine/winpath.h"

namespace fs = std::filesystem;

namespace engine {
namespace {

// Thrown by a step that ends the process at once with its own exit code.
struct StartupExit {
  int code;
};

// Copies the bytes of src from offset to its end into dest; throws on failure.
void CopyTail(const std::string& src, std::uint64_t offset, const std::string& dest) {
  std::ifstream in(src, std::ios::binary);
  if (!in) throw std::runtime_error("Unable to open " + src);
  in.seekg(static_cast<std::streamoff>(offset));
  std::ofstream out(dest, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Unable to create " + dest);
  char buf[64 * 1024];
  while (in) {
    in.read(buf, sizeof buf);
    out.write(buf, in.gcount());
  }
  out.close();
  if (!out) throw std::runtime_error("Unable to write " + dest);
}

// Host path of the loaded archive library (the module ExtractArchive lives in).
std::string LoadedQelPath(const std::string& engineHostFolder) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&::ExtractArchive), &info) && info.dli_fname && *info.dli_fname)
    return fs::absolute(info.dli_fname).string();
  return engineHostFolder + "/qel.lib";
}

// Step 4: the message data behind qel.lib's image, through "lang.loc".
void LoadAppendedMessages(const std::string& qelHostPath, const std::string& tempHostFolder,
                          const StartupHooks& hooks) {
  const auto end = FindImageEndOfFile(qelHostPath);
  const std::int64_t size = base::FileSize(qelHostPath);
  if (!end || size < 0 || *end >= static_cast<std::uint64_t>(size)) return;
  const std::string loc = tempHostFolder + "/lang.loc";
  try {
    CopyTail(qelHostPath, *end, loc);
  } catch (const std::exception&) {
    std::error_code ec;
    fs::remove(loc, ec);
    return;  // the built-in English messages stay
  }
  if (hooks.loadMessages)
    hooks.loadMessages(loc);
  else
    LoadMessages(loc, "");
  std::error_code ec;
  fs::remove(loc, ec);
}

std::string ExtractNameWithoutExt(const std::string& fileName) {
  const std::size_t dot = fileName.rfind('.');
  return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::string HostOf(const machine::Machine& m, const std::string& windowsPath) {
  std::string host = m.ToHost(windowsPath);
  if (host.empty()) throw std::runtime_error("The path " + windowsPath + " does not map to a folder of this machine");
  return host;
}

// Sends the registry's reports about damaged hive files to the trace log
// for as long as the session lives.
struct RegistryReports {
  explicit RegistryReports(Session& s) {
    machine::SetRegistryDiagnostics([&s](const std::string& text) { s.Trace(text); });
  }
  ~RegistryReports() { machine::SetRegistryDiagnostics(nullptr); }
  RegistryReports(const RegistryReports&) = delete;
  RegistryReports& operator=(const RegistryReports&) = delete;
};

struct Windows {
  std::unique_ptr<SetupSplash> splash;
  std::unique_ptr<SetupInit> init;
  bool created() const { return init != nullptr; }
};

}  // namespace

bool PinToFirstProcessor() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0;
  }
  return false;
}

int ExitStatus(int code) {
  if (code < 0 || code > 255) std::fprintf(stderr, "setupengine: exit code %d\n", code);
  return code & 0xFF;
}

std::vector<int> EnabledDialogCommands(const Script& script) {
  std::vector<int> out;
  for (int i = 0; i < script.Count(); ++i)
    if (script.Name(i) == "Display Dialog" && script.Enabled(i)) out.push_back(i);
  return out;
}

int RunEngine(const std::vector<std::string>& argv, const StartupHooks& hooks) {
  // 1. The caller pins the process before any thread exists (main).
  machine::Machine& m = machine::Machine::Current();
  m.ApplyFormatSettings();
  Session session;
  TraceLog trace([&m](std::string_view p) { return m.ToHost(p); }, m.IsNT());
  session.trace = [&](std::string_view line) {
    trace.SetPath(session.traceLogPath);
    trace.Write(line);
  };

  // 2. Engine folder and base name.
  session.supportFolder.clear();
  const std::string exeHost = hooks.enginePath.empty() ? base::ExecutablePath() : hooks.enginePath;
  session.exePath = m.ToWindows(exeHost);
  session.engineFolder = machine::IncludeTrailingBackslash(machine::ExtractFilePath(session.exePath));
  session.baseName = ExtractNameWithoutExt(machine::ExtractFileName(session.exePath));
  session.resourceArchive = session.engineFolder + session.baseName + ".res";

  // 3. Temporary folder.
  session.tempFolder = machine::IncludeTrailingBackslash(m.TempPath());
  const std::string tempHost = HostOf(m, session.tempFolder);
  base::ForceDirectories(tempHost);

  // 4. Message data appended to the archive library.
  LoadAppendedMessages(LoadedQelPath(base::ExtractFileDir(exeHost)), tempHost, hooks);

  // 5, 6. Command line.
  const CommandLine cl = ParseCommandLine(argv);
  session.commandLineTail = cl.tail;
  session.silent = cl.silent;
  session.update = cl.update;
  session.updateSetup = cl.updateSetup;
  session.groupPolicyPath = cl.groupPolicyPath;
  session.selfExtractorPath = cl.selfExtractorPath;
  session.traceLogPath = cl.traceLogPath;
  session.setupSourcesFolder = cl.setupSourcesFolder;
  session.assignments = cl.assignments;
  const bool silent = cl.silent;

  // 7. Trace.
  session.Trace("<Corvane>");
  session.Trace("  <SetupSplash>");
  RegistryReports registryReports(session);

  // 8. Splash and preparation window.
  Windows windows;
  if (!cl.NoWindows()) {
    windows.splash = std::make_unique<SetupSplash>();
    windows.init = std::make_unique<SetupInit>(m.profile().versionMajor, m.profile().versionMinor);
    const std::string bmp = m.ToHost(session.engineFolder + "setup.bmp");
    if (!bmp.empty() && base::FileExists(bmp) && windows.splash->LoadPicture(QString::fromStdString(bmp))) {
      windows.splash->CentreOnScreen();
      windows.splash->ShowNow();
      windows.init->PlaceBelow(*windows.splash);
    } else {
      windows.init->CentreOnScreen();
    }
    windows.init->ShowNow();
  }
  auto fail = [&](const std::string& text, int code) {
    if (!silent) machine::ShowMessageBox(session.Caption(), text, machine::MB_ICONERROR, windows.init.get());
    return StartupExit{code};
  };

  Script script;
  // 9. One guard from step 10 to step 20.
  try {
    // 10. The script appended to the engine's own file.
    session.Trace("    <StubSize>");
    const std::string self = hooks.enginePath.empty() ? std::string("/proc/self/exe") : hooks.enginePath;
    const auto offset = FindImageEndOfFile(self);
    if (!offset) throw std::runtime_error("The program image of " + session.exePath + " cannot be read");
    const std::int64_t size = base::FileSize(self);
    if (size >= 0 && static_cast<std::uint64_t>(size) == *offset) throw fail("For internal use only", kExitNoScript);

    // 11. Copy it out.
    session.Trace("    </StubSize>");
    session.Trace("    <StubData>");
    const std::string tmpScript = HostOf(m, session.tempFolder + "qel.tmp");
    CopyTail(self, *offset, tmpScript);
    session.Trace("    </StubData>");

    // 12. Load it.
    session.Trace("    <GlobalLists>");
    script = LoadScript(tmpScript);
    std::error_code ec;
    fs::remove(tmpScript, ec);
    session.Trace("    </GlobalLists>");

    // 13, 14. The support folder: the first free qelN.
    session.Trace("    <SupportDir>");
    for (long n = 1;; ++n) {
      if (n > 100000) throw std::runtime_error("No free support folder in " + session.tempFolder);
      const std::string candidate = session.tempFolder + "qel" + std::to_string(n);
      if (!base::DirectoryExists(HostOf(m, candidate))) {
        session.supportFolder = candidate + "\\";
        break;
      }
    }
    const std::string supportHost = HostOf(m, session.supportFolder);
    if (!base::ForceDirectories(supportHost))
      throw std::runtime_error("Unable to create the folder " + session.supportFolder);
    session.Trace("    </SupportDir>");

    // 15. The support archive.
    session.Trace("    <ExtractArchive>");
    const std::string resHost = m.ToHost(session.resourceArchive);
    if (resHost.empty() || !base::FileExists(resHost)) throw fail(Message(Msg::ResourceNotFound), kExitNoResource);
    try {
      media::ExtractArchive(resHost, supportHost);
    } catch (const media::ArchiveError&) {
      throw fail(Message(Msg::ResourceDecompression), kExitResourceDamaged);
    }
    session.Trace("    </ExtractArchive>");

    // 16. The installer database or patch, copied beside the support files.
    session.Trace("    <ExtractResource>");
    const std::string msi = session.engineFolder + session.baseName + ".msi";
    const std::string msp = session.engineFolder + session.baseName + ".msp";
    const std::string msiHost = m.ToHost(msi), mspHost = m.ToHost(msp);
    if (!base::FileExists(msiHost) && !base::FileExists(mspHost))
      throw fail(Message(Msg::DatabaseNotFound), kExitNoDatabase);
    session.Trace("    </ExtractResource>");
    session.Trace("    <ResourcePath>");
    for (const std::string& src : {msiHost, mspHost}) {
      if (!base::FileExists(src)) continue;
      const fs::path dest = fs::path(supportHost) / fs::path(src).filename();
      fs::copy_file(src, dest, fs::copy_options::overwrite_existing);
      fs::permissions(dest, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
    }
    session.Trace("    </ResourcePath>");
    session.installerDatabase = session.supportFolder + session.baseName + ".msi";
    session.dataFolder = session.engineFolder + "data\\";

    // 17. Preload the wizard pages.
    session.Trace("    <Dialogs>");
    const std::vector<int> dialogs = EnabledDialogCommands(script);
    if (windows.created()) windows.init->SetProgress(0, static_cast<int>(dialogs.size()), 1);
    if (hooks.initDialogs) hooks.initDialogs(session.supportFolder);
    for (int index : dialogs) {
      const std::string dfm = m.ToHost(session.supportFolder + script.Param(index, 1) + ".dfm");
      if (hooks.preloadDialog) hooks.preloadDialog(std::to_string(index), dfm);
      if (windows.created()) {
        windows.init->StepProgress();
        if (windows.splash->isVisible()) windows.splash->repaint();
      }
    }
    session.Trace("    </Dialogs>");

    // 18. Close the windows.
    if (windows.created()) {
      windows.init->hide();
      windows.init.reset();
      if (windows.splash->isVisible()) windows.splash->hide();
      windows.splash.reset();
    }
    session.Trace("  </SetupSplash>");
    session.Trace("  <RunScript>");

    // 19. The interpreter; then the engine cache.
    EngineCache cache(m);
    std::unique_ptr<Interpreter> interpreter;
    if (hooks.runScript) {
      session.exitCode = hooks.runScript(script, session);
    } else {
      interpreter = std::make_unique<Interpreter>(script, session);
      cache.Attach(*interpreter);
      session.exitCode = interpreter->Run();
    }
    if (session.exitCode == kExitInvalidScript) return kExitInvalidScript;
    if (hooks.writeEngineCache) {
      hooks.writeEngineCache(session);
    } else if (interpreter) {
      RunContext context = interpreter->Context();
      cache.WriteAfterRun(context);
    }
    interpreter.reset();

    // 20. Free the script.
    session.Trace("  </RunScript>");
    session.Trace("  <Free>");
    script = Script{};
    session.Trace("  </Free>");
  } catch (const StartupExit& e) {
    return e.code;
  } catch (const std::exception& e) {
    windows = Windows{};
    if (!silent) machine::ShowMessageBox(session.Caption(), Message(Msg::RuntimeErrorInInstall) + e.what(),
                                         machine::MB_ICONERROR, nullptr);
    session.exitCode = kExitRuntimeError;
  }

  // 21. Remove the support folder.
  session.Trace("  <CachedSupportDir>");
  RemoveSupportFolder(session);
  session.Trace("  </CachedSupportDir>");
  session.Trace("</Corvane>");
  return session.exitCode;
}

}  // namespace engine
