// The interpreter (see interpreter.h and README.md for the state tables).
//
// Run states:
//   Preparing --validation fails--> Ended (314, nothing shown)
//   Preparing --no installer database--> Ended (nothing run)
//   Preparing --> Executing --past the last command / Terminate* / Reboot--> Ended (end-of-script trace)
//   Executing --step callback says stop--> Ended (no end-of-script trace)
//   Executing --ScriptError or any exception--> Ended (runtime-error message)
//
// Control-flow requests of the main loop (at most one skip runs per step):
//   branchSkip  set by a false If / Else If: skip to the next Else, Else If or End of this level
//   endSkip     set by a reached Else / Else If: skip to this block's End
//   elseIfStop  a branch skip stopped at an Else If, which is then evaluated
//   inLoop      a Wizard Loop is active; fetch moves by `direction` between pages
#include "engine/script/interpreter.h"

#include <cassert>
#include <ctime>
#include <filesystem>
#include <regex>
#include <unordered_map>

#include "engine/script/commands.h"
#include "engine/script/errors.h"
#include "engine/script/expression.h"
#include "engine/script/validation.h"
#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/message_box.h"
#include "platform/machine/registry.h"
#include "platform/machine/winpath.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

// Message-box flags and results (Windows values).
constexpr unsigned kMbOk = 0x0, kMbOkCancel = 0x1, kMbAbortRetryIgnore = 0x2, kMbYesNoCancel = 0x3,
                   kMbYesNo = 0x4, kMbRetryCancel = 0x5;
constexpr unsigned kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconWarning = 0x30, kMbIconInformation = 0x40;

enum class Family {
  kCore,        // this interpreter
  kValues,      // conditions and expressions
  kPages,       // wizard pages and tray
  kComponents,  // setup component list
  kMedia,       // media blocks and archives
  kInstaller,   // installer runs and database edits
  kActions,     // files, registry, INI, shortcuts, services, ODBC
  kPrograms,    // running programs, tasks, assemblies
  kWebServer,   // web-server sites
  kSystemInfo,  // system information
  kShares,      // shares and access control
};

struct CommandEntry { const char* name; int params; Family family; };

// The command table, in dispatch order, with the highest parameter index read.
constexpr CommandEntry kCommands[] = {
    {"Web Media Block", 3, Family::kMedia}, {"GoTo Label", 1, Family::kCore},
    {"Create Share", 3, Family::kShares}, {"Set Access Control", 16, Family::kShares},
    {"Delete Share", 1, Family::kShares}, {"Check Process", 2, Family::kPrograms},
    {"Check Service", 3, Family::kPrograms}, {"Delete Registry", 4, Family::kActions},
    {"Is MSI Setup Installed", 2, Family::kInstaller}, {"Write Registry", 7, Family::kActions},
    {"Create File Type", 5, Family::kActions}, {"Advertised File Type", 3, Family::kActions},
    {"Terminate Program", 2, Family::kPrograms}, {"Create Folder", 1, Family::kActions},
    {"Create Shortcut", 9, Family::kActions}, {"Advertised Shortcut", 6, Family::kActions},
    {"Copy/Move Local Files", 3, Family::kActions}, {"Delete Files", 1, Family::kActions},
    {"Edit INI File", 6, Family::kActions}, {"Set Environment", 2, Family::kActions},
    {"Delete Scheduled Task", 2, Family::kPrograms}, {"Schedule Task", 14, Family::kPrograms},
    {"Install Files", 12, Family::kActions}, {"Install Assembly", 3, Family::kActions},
    {"Control Service", 2, Family::kActions}, {"Create ODBC DSN", 0, Family::kActions},
    {"Install ODBC Driver", 4, Family::kActions}, {"Install Service", 15, Family::kActions},
    {"Generate Native Images", 1, Family::kPrograms}, {"Run .NET Installer Class", 2, Family::kPrograms},
    {"Register Assembly", 1, Family::kPrograms}, {"Set 64 Bit Mode", 3, Family::kCore},
    {"Transform Instance", 0, Family::kInstaller}, {"Save Feature Selections", 1, Family::kComponents},
    {"Load Feature Selections", 1, Family::kComponents}, {"Apply Changes", 4, Family::kInstaller},
    {"Apply Patch", 4, Family::kInstaller}, {"Comment", 1, Family::kCore},
    {"Get Environment", 2, Family::kActions}, {"Get IIS Site List", 1, Family::kWebServer},
    {"Get IIS Site Index", 2, Family::kWebServer}, {"Get File Version", 2, Family::kActions},
    {"Get IIS Property", 6, Family::kWebServer}, {"Set IIS Property", 6, Family::kWebServer},
    {"Get Temporary File", 1, Family::kActions}, {"Set Variable", 2, Family::kCore},
    {"Localization Variable", 2, Family::kCore}, {"Does File/Folder Exist", 3, Family::kActions},
    {"Run Program As", 10, Family::kPrograms}, {"Extract 7Zip Archive", 6, Family::kMedia},
    {"Run Light Mode Setup", 4, Family::kPrograms}, {"Run Program", 5, Family::kPrograms},
    {"Convert Path", 2, Family::kActions}, {"Convert Case", 2, Family::kValues},
    {"Replace String", 5, Family::kValues}, {"Check Disk Space", 3, Family::kSystemInfo},
    {"Delete Files Recursive", 1, Family::kCore}, {"Find All Files", 4, Family::kActions},
    {"Extract Path", 2, Family::kValues}, {"Get INI File Settings", 4, Family::kActions},
    {"Create IIS Site", 15, Family::kWebServer}, {"Create Virtual Folder", 18, Family::kWebServer},
    {"Delete IIS Site", 1, Family::kWebServer}, {"Delete Virtual Folder", 2, Family::kWebServer},
    {"Control IIS Site", 2, Family::kWebServer}, {"Read Registry", 4, Family::kActions},
    {"Check Registry", 4, Family::kActions}, {"Get OS or SP Level", 2, Family::kSystemInfo},
    {"Get System Settings", 2, Family::kSystemInfo}, {"Check File Version", 5, Family::kActions},
    {"Parse String", 7, Family::kValues}, {"Read from Text File", 3, Family::kActions},
    {"Write to Text File", 3, Family::kActions}, {"Mathematics", 4, Family::kValues},
    {"Get Folder Location", 3, Family::kSystemInfo}, {"End", 0, Family::kCore}, {"Else", 0, Family::kCore},
    {"Else If", 4, Family::kCore}, {"Get Component Space", 2, Family::kComponents},
    {"Get Component State", 2, Family::kComponents}, {"IIS Anonymous User", 1, Family::kWebServer},
    {"Set Component State", 2, Family::kComponents}, {"Set Component Space", 2, Family::kComponents},
    {"Set Component Choice", 2, Family::kComponents}, {"Set Component Visibility", 2, Family::kComponents},
    {"Delete Component", 1, Family::kComponents}, {"Define Component", 3, Family::kComponents},
    {"If", 4, Family::kCore}, {"Wizard Loop", 0, Family::kCore}, {"Evaluate Expression", 2, Family::kValues},
    {"Register Library", 3, Family::kPrograms}, {"System Tray", 4, Family::kPages},
    {"MessageBox", 5, Family::kCore}, {"MessageBalloon", 4, Family::kPages},
    {"Terminate Install", 0, Family::kCore}, {"Remove Assemblies", 0, Family::kPrograms},
    {"Terminate with Exit Code", 1, Family::kCore}, {"Reboot Computer", 0, Family::kCore},
    {"Reboot and Resume", 0, Family::kCore}, {"Display Dialog", 6, Family::kPages},
    {"Hide Dialog", 0, Family::kPages},
};

const CommandEntry* FindCommand(std::string_view name) {
  static const std::unordered_map<std::string_view, const CommandEntry*> table = [] {
    std::unordered_map<std::string_view, const CommandEntry*> m;
    for (const CommandEntry& e : kCommands) m.emplace(e.name, &e);
    return m;
  }();
  auto it = table.find(name);
  return it == table.end() ? nullptr : it->second;
}

// Commands the control flow recognises, resolved once per script.
enum class Op {
  kOther, kIf, kElseIf, kElse, kEnd, kWizardLoop, kDisplayDialog, kIgnore, kLabel,
};

Op OpOf(std::string_view name) {
  if (name == "If") return Op::kIf;
  if (name == "Else If") return Op::kElseIf;
  if (name == "Else") return Op::kElse;
  if (name == "End") return Op::kEnd;
  if (name == "Wizard Loop") return Op::kWizardLoop;
  if (name == "Display Dialog") return Op::kDisplayDialog;
  if (name == "Ignore") return Op::kIgnore;
  if (name == "Label") return Op::kLabel;
  return Op::kOther;
}

std::string PathFolderWithSlash(std::string_view path) {
  std::string f = machine::ExtractFilePath(path);
  return f.empty() ? f : machine::IncludeTrailingBackslash(f);
}

// Case-insensitive match of a file name against a mask of * and ?.
bool MatchMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  std::string n = base::LowerCase(name), m = base::LowerCase(mask);
  std::size_t i = 0, j = 0, star = std::string::npos, mark = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == '?' || m[j] == n[i])) { ++i; ++j; }
    else if (j < m.size() && m[j] == '*') { star = j++; mark = i; }
    else if (star != std::string::npos) { j = star + 1; i = ++mark; }
    else return false;
  }
  while (j < m.size() && m[j] == '*') ++j;
  return j == m.size();
}

}  // namespace

std::string PageResultText(const PageResult& r) {
  switch (r.code) {
    case kPageNext: return "NEXT";
    case kPageBack: return "BACK";
    case kPageCancel: return "CANCEL";
    case kPageCustom: return base::UpperCase(r.text);
    case kPageNotModal: return "NOTMODAL";
    default: return base::IntToStr(r.code);
  }
}

enum class RunState { kPreparing, kExecuting, kEnded };

struct Interpreter::Impl {
  Script& script;
  Session& session;
  Variables vars;
  MathState math;

  PageHost* pages = nullptr;
  std::function<bool(int)> step;
  std::function<std::optional<std::string>(std::string_view)> sourcesPrompt;
  std::function<void(RunContext&)> bootstrap;
  std::function<void(RunContext&)> stepRefresh;
  Translator translate;

  RunState state = RunState::kPreparing;
  int pc = 0;
  bool branchSkip = false, endSkip = false, elseIfStop = false, inLoop = false;
  int direction = 1;
  bool ended = false;  // a terminating command ran
  std::unordered_map<std::string, int> labels;  // upper-cased name -> index
  std::vector<Op> ops;                          // per command
  std::vector<const CommandEntry*> entries;     // per command (nullptr: no-op name)
  std::vector<char> executable;                 // enabled and not "Ignore"
  std::uintptr_t currentWindow = 0;
  std::string lastProgressText;
  std::string lastProgress;
  std::string platformMode = "Win32";
  std::string sourcesMarker;
  std::vector<std::string> persistent;
  std::vector<std::pair<std::string, std::string>> propertyLog;
  std::string lastError;
  int lastErrorLine = 0;
  std::time_t clockSeen = -1;
  std::string dateText, timeText;

  Impl(Script& s, Session& se) : script(s), session(se) {}

  bool Silent() const { return session.silent; }
  int Count() const { return script.Count(); }

  void AssertState(RunState want) const {
    assert(state == want);
    (void)want;
  }

  // --- preparation ------------------------------------------------------------
  void Resolve() {
    const int n = Count();
    ops.assign(static_cast<std::size_t>(n), Op::kOther);
    entries.assign(static_cast<std::size_t>(n), nullptr);
    executable.assign(static_cast<std::size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
      const std::string& name = script.commandNames[i];
      ops[i] = OpOf(name);
      entries[i] = FindCommand(name);
      executable[i] = script.Enabled(i) && ops[i] != Op::kIgnore;
    }
  }

  void DefaultBootstrap() {
    const char* src = "Bootstrap";
    vars.Define("PRODUCTCODE", script.productCode, src);
    vars.Define("REVISIONCODE", script.revisionCode, src);
    vars.Define("UNINSTALLLINK", "", src);
    vars.Define("ENGINECACHE", "", src);
    vars.Define("DATADIR", session.dataFolder, src);
    vars.Define("NEEDSUPGRADE", "FALSE", src);
    vars.Define("MAINTENANCE", "FALSE", src);
    vars.Define("NEWINSTANCE", "FALSE", "Initialization");
  }

  void RefreshDateTime() {
    std::time_t now = std::time(nullptr);
    if (now == clockSeen) return;
    clockSeen = now;
    base::TDateTime dt = base::Now();
    dateText = base::DateToStr(dt);
    timeText = base::TimeToStr(dt);
  }

  void DefinePredefined() {
    machine::Machine& m = machine::Machine::Current();
    const machine::Profile& prof = m.profile();
    const char* src = "Initialization";
    auto def = [&](const char* name, std::string_view value) { vars.Define(name, value, src); };
    def("ZEKO_COMPRESS_INSTALLER_CACHE", "TRUE");
    def("ZEKO_DISABLE_ROLLBACK", "FALSE");
    def("ZEKO_DISABLE_VISTA_RESTART_MANAGER", "FALSE");
    def("IISHOST", "localhost");
    if (!vars.Exists("OVERRIDECACHE")) def("OVERRIDECACHE", "");
    def("ZEKOLOGO", "");
    def("SELECTED", "0");
    def("WINDOWHANDLE", "0");
    def("EXEFILE", session.exePath);
    def("EXEDIR", session.engineFolder);
    def("PROGRESSTEXT", "");
    def("PROGRESSMODE", "");
    def("ABORT", "FALSE");
    def("PROGRESS", "0");
    def("LASTERROR", "");
    def("LICENSE", "FALSE");
    {
      machine::Registry reg(m);
      const std::string key =
          std::string("SOFTWARE\\Microsoft\\") + (prof.IsNT() ? "Windows NT" : "Windows") + "\\CurrentVersion\\";
      def("USERNAME", reg.ReadString(machine::RegRoot::LocalMachine, key, "RegisteredOwner", RegistryAccess()));
      def("USERCOMPANY",
          reg.ReadString(machine::RegRoot::LocalMachine, key, "RegisteredOrganization", RegistryAccess()));
    }
    def("COPYWEBLOCK", "");
    def("REBOOTCOMPUTER", "FALSE");
    def("RUNAPP", "TRUE");
    def("WIZARD", "NEXT");
    def("VERSION", script.version);
    def("SILENT", base::BoolText(session.silent));
    def("LOGGED", session.traceLogPath);
    def("CMDLINE", session.commandLineTail);
    def("REBOOTNOW", "OK");
    def("SFXPATH", PathFolderWithSlash(session.selfExtractorPath));
    def("SFXFILE", machine::ExtractFileName(session.selfExtractorPath));
    def("GPOPATH", PathFolderWithSlash(session.groupPolicyPath));
    def("COMPLETE", "TRUE");
    def("NEWLINE", "\r\n");
    def("MINIMUM", "FALSE");
    def("PERSONALIZED", "FALSE");
    def("MODIFY", "TRUE");
    def("REPAIR", "FALSE");
    def("REMOVE", "FALSE");
    def("ROOTDIR", session.engineFolder);
    def("TITLE", script.title);
    def("COMPANY", script.company);
    def("ADVERTISE", "FALSE");
    RefreshDateTime();
    def("DATE", dateText);
    def("TIME", timeText);
    def("TEMPDIR", session.tempFolder);
    def("SUPPORTDIR", session.supportFolder);
    def("MSIFILE", session.installerDatabase);
  }

  // The extra access flag of registry keys for the platform mode.
  unsigned RegistryAccess() const {
    if (!machine::Machine::Current().Is64Bit()) return 0;
    return platformMode != "Win32" ? machine::kWow64_64Key : machine::kWow64_32Key;
  }

  // The resume entry's value name: characters 2 to 9 of the product code.
  std::string ResumeValueName() const { return script.productCode.substr(std::min<std::size_t>(1, script.productCode.size()), 8); }

  static constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

  // Deletes the resume entry from HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
  // On a 64-bit machine both registry views are cleared: the entry was
  // written in the view of the platform mode of the run that wrote it, and
  // an entry left in the other view would start the engine at every logon.
  void DeleteResumeEntry() {
    std::string name = ResumeValueName();
    if (name.empty()) return;
    machine::Machine& m = machine::Machine::Current();
    machine::Registry reg(m);
    std::vector<unsigned> views{RegistryAccess()};
    if (m.Is64Bit()) views = {machine::kWow64_32Key, machine::kWow64_64Key};
    for (machine::RegRoot root : {machine::RegRoot::CurrentUser, machine::RegRoot::LocalMachine})
      for (unsigned view : views) reg.DeleteValue(root, kRunKey, name, view);
  }

  // The command line of the resume entry: the self-extractor (or the
  // engine) and the command-line tail.  A program path with a blank is
  // quoted, or the entry would name a program that does not exist.
  std::string ResumeCommand() const {
    machine::Machine& m = machine::Machine::Current();
    std::string program = session.selfExtractorPath.empty() ? session.exePath : m.ToWindows(session.selfExtractorPath);
    if (program.find(' ') != std::string::npos && program.front() != '"') program = "\"" + program + "\"";
    if (!session.commandLineTail.empty()) program += " " + session.commandLineTail;
    return program;
  }

  void RebootAndResume() {
    machine::Registry reg(machine::Machine::Current());
    machine::RegRoot root =
        base::IsTrueText(vars.Get("ALLUSERS")) ? machine::RegRoot::LocalMachine : machine::RegRoot::CurrentUser;
    const std::string name = ResumeValueName();
    const machine::RegResult r = name.empty() ? machine::kRegInvalidParameter
                                              : reg.SetValue(root, kRunKey, name, machine::RegValue::String(ResumeCommand()),
                                                             RegistryAccess());
    if (r != machine::kRegOk)
      session.Trace("    The resume entry could not be written (registry error " + base::IntToStr(r) + ")");
    machine::Machine::Current().RequestReboot("Reboot and Resume");
    ended = true;
  }

  bool DatabaseExists() const {
    machine::Machine& m = machine::Machine::Current();
    const std::string& db = session.installerDatabase;
    if (db.empty()) return false;
    std::string host = m.ToHost(db);
    if (!host.empty() && base::FileExists(host)) return true;
    std::string msp = m.ToHost(machine::ChangeFileExt(db, ".msp"));
    return !msp.empty() && base::FileExists(msp);
  }

  std::string DefaultTargetDir() const {
    const machine::Profile& p = machine::Machine::Current().profile();
    std::string base = (p.isAdmin || !p.IsNT()) ? std::string("C:\\Program Files\\")
                                                 : "C:\\Users\\" + p.userName + "\\";
    return base + script.title + "\\";
  }

  // Returns false when the run ends before the main loop.
  bool Prepare() {
    AssertState(RunState::kPreparing);
    session.Trace("    <Variables>");
    pc = 0;
    branchSkip = endSkip = elseIfStop = inLoop = false;
    direction = 1;
    ended = false;
    currentWindow = 0;
    platformMode = "Win32";
    sourcesMarker = script.productCode;
    persistent.clear();
    propertyLog.clear();
    lastError.clear();
    lastErrorLine = 0;
    session.variables = &vars;
    vars.SetSilent(session.silent);
    machine::Machine::Current().ApplyFormatSettings();
    Resolve();
    session.Trace("    </Variables>");

    session.Trace("    <CompileScript>");
    ValidationResult v = ValidateScript(script, vars);
    if (!v.ok()) {
      vars.Clear();
      session.exitCode = kExitInvalidScript;
      return false;
    }
    session.Trace("    </CompileScript>");

    vars.Clear();
    session.components.Clear();
    vars.Put("ZEKO_thProgress", "0");
    vars.Put("ZEKO_thMax", "100");
    vars.Put("ZEKO_thMin", "0");
    vars.Put("ZEKO_thProgressText", "");
    vars.Put("ZEKO_thFinished", "FALSE");
    vars.Put("ZEKO_thCancelled", "FALSE");
    const machine::Profile& prof = machine::Machine::Current().profile();
    vars.Define("TARGETDIR", DefaultTargetDir(), "Pre-Initialization");
    vars.Define("STARTMENU", script.title, "Pre-Initialization");
    vars.Define("ALLUSERS", base::BoolText(prof.isAdmin && prof.IsNT()), "Pre-Initialization");

    session.Trace("    <BootStrap>");
    if (bootstrap) {
      RunContext ctx = Context();
      bootstrap(ctx);
    } else
      DefaultBootstrap();
    session.Trace("    </BootStrap>");

    labels.clear();
    for (int i = 0; i < Count(); ++i)
      if (ops[i] == Op::kLabel) labels.emplace(base::UpperCase(script.Param(i, 1)), i);

    if (!DatabaseExists()) return false;

    session.Trace("    <zeko>");
    DefinePredefined();
    DeleteResumeEntry();
    // Change markers: "A" + header code, off until the command runs.
    for (int i = 0; i < Count(); ++i) {
      std::string code = script.HeaderCode(i);
      if (!code.empty()) propertyLog.emplace_back("A" + code, "FALSE");
    }
    vars.Define("LANGUAGE", "", "Initialization");

    std::vector<std::string> names;
    for (const auto& [name, value] : session.assignments) {
      std::string upper = base::UpperCase(name);
      names.push_back(upper);
      if (vars.Exists(upper))
        vars.Set(upper, value, kSourceCommandLine);
      else
        vars.Define(upper, value, kSourceCommandLine);
    }
    vars.SetCommandLineNames(std::move(names));
    return true;
  }

  // --- the main loop ------------------------------------------------------------
  void Refresh() {
    session.traceLogPath = vars.Get("LOGGED");
    session.silent = base::IsTrueText(vars.Get("SILENT"));
    vars.SetSilent(session.silent);
    RefreshDateTime();
    vars.Define("DATE", dateText, "Initialization");
    vars.Define("TIME", timeText, "Initialization");
    if (stepRefresh) {
      RunContext ctx = Context();
      stepRefresh(ctx);
    }
  }

  RunContext Context() { return RunContext{script, session, vars, persistent, propertyLog, platformMode}; }

  [[noreturn]] void ListIndexError(int k) const { throw ScriptError(ErrorId::kListIndex, base::IntToStr(k)); }

  void BranchSkip() {
    const int n = Count();
    int nest = 0, k = pc;
    Op stop = Op::kOther;
    for (;; ++k) {
      if (k >= n) ListIndexError(k);
      const Op op = ops[k];
      const bool en = script.Enabled(k);
      bool marked = false;
      if (en && (op == Op::kIf || op == Op::kWizardLoop)) {
        ++nest;
        marked = true;
      } else if (en && op == Op::kEnd) {
        --nest;
        marked = nest >= 0;
      }
      if ((op == Op::kElse || op == Op::kElseIf || op == Op::kEnd) && nest <= 0 && !marked && en) {
        stop = op;
        break;
      }
    }
    branchSkip = false;
    if (stop == Op::kElseIf && !endSkip) {
      pc = k;
      elseIfStop = true;
    } else if (stop == Op::kEnd) {
      pc = k;
    } else {
      pc = k + 1;
    }
  }

  void EndSkip() {
    const int n = Count();
    int nest = 0, k = pc;
    for (;; ++k) {
      if (k >= n) ListIndexError(k);
      const Op op = ops[k];
      const bool en = script.Enabled(k);
      bool marked = false;
      if (en && (op == Op::kIf || op == Op::kWizardLoop)) {
        ++nest;
        marked = true;
      } else if (en && op == Op::kEnd) {
        --nest;
        marked = nest >= 0;
      }
      if (op == Op::kEnd && nest <= 0 && !marked && en) break;
    }
    endSkip = false;
    pc = k;
  }

  // Leaves the wizard loop: the loop's End is fetched next (it does nothing).
  void LeaveLoopFrom(int k) {
    const int n = Count();
    for (++k;; ++k) {
      if (k >= n) ListIndexError(k);
      if (executable[k] && ops[k] == Op::kEnd) break;
    }
    inLoop = false;
    pc = k;
  }

  // Next command to execute, or -1 to go round the loop again.
  int Fetch() {
    const int n = Count();
    if (inLoop) {
      const int cur = pc - 1;
      if (direction == 0) {
        LeaveLoopFrom(cur);
        return -1;
      }
      for (int k = cur + direction;; k += direction) {
        if (k < 0 || k >= n) ListIndexError(k);
        if (!executable[k]) continue;
        if (ops[k] == Op::kDisplayDialog) {
          pc = k + 1;
          return k;
        }
        if (ops[k] == Op::kEnd) {  // forward past the last page
          inLoop = false;
          pc = k;
          return -1;
        }
        if (ops[k] == Op::kWizardLoop) {  // back past the first page
          LeaveLoopFrom(k);
          return -1;
        }
      }
    }
    if (pc >= n) return -1;
    int idx;
    do {
      idx = pc++;
    } while (!executable[idx] && pc < n);
    return executable[idx] ? idx : -1;
  }

  void Execute() {
    state = RunState::kExecuting;
    const int n = Count();
    int cur = -1;
    try {
      while (true) {
        if (pc >= n) break;
        if (pc % 314 == 0 && pages) pages->ProcessMessages();
        Refresh();
        if (branchSkip) BranchSkip();
        if (endSkip) EndSkip();
        cur = Fetch();
        if (cur < 0) continue;
        vars.Define("ABORT", base::BoolText(pages && pages->CancelRequested()), "Cancel State");
        PushProgress(false);
        if (step && !step(pc)) {
          FreePages();
          state = RunState::kEnded;
          return;
        }
        ExecuteCommand(cur);
        if (ended) break;
      }
    } catch (const std::exception& e) {
      RuntimeError(cur, e.what());
      return;
    }
    EndOfScript();
  }

  void RuntimeError(int cur, const std::string& what) {
    lastError = what;
    lastErrorLine = cur + 1;
    if (!Silent()) {
      std::string text = std::string(kRuntimeErrorPrefix) + "\r\rLine " + base::IntToStr(cur + 1) + ": " + what;
      machine::ShowMessageBox(session.Caption(), text, kMbOk | kMbIconError, nullptr);
    }
    FreePages();
    state = RunState::kEnded;
  }

  void FreePages() {
    if (pages) pages->FreePages();
    currentWindow = 0;
  }

  void EndOfScript() {
    session.Trace("    </zeko>");
    session.Trace("    <ExitScript>");
    FreePages();
    session.Trace("    </ExitScript>");
    state = RunState::kEnded;
  }

  void PushProgress(bool force) {
    if (!pages || (currentWindow == 0 && !force)) return;
    std::string text = vars.Get("PROGRESSTEXT"), value = vars.Get("PROGRESS");
    if (!force && text == lastProgressText && value == lastProgress) return;
    lastProgressText = text;
    lastProgress = value;
    pages->UpdateProgress(text, static_cast<int>(base::StrToIntDef(value, 0)));
    pages->ProcessMessages();
  }

  // --- commands -----------------------------------------------------------------
  CommandContext Context(int idx) {
    return CommandContext{script, session, vars, math, idx, script.commandNames[idx], &translate};
  }

  bool Condition(const CommandContext& c) {
    std::string p1 = c.Param(1), p3 = c.Param(3);
    const std::string code = c.Param(2);
    if (translate && !vars.Get("LANGUAGE").empty()) {
      if (auto t = translate(c.Param(0), 1)) p1 = *t;
      if (auto t = translate(c.Param(0), 2)) p3 = *t;
    }
    const bool negate = base::IsTrueText(c.Param(4));
    bool r;
    if (code == "5") {
      r = vars.Exists(p1);
    } else {
      std::string left = vars.Expand(vars.Get(Variables::StripReference(p1)));
      std::string right = vars.Expand(p3);
      r = CompareCondition(code, left, right);
    }
    return r != negate;
  }

  void ExecuteCommand(int idx) {
    const std::string& name = script.commandNames[idx];
    if (script.IsPluginCommand(name)) {
      RunPlugin(idx);
      return;
    }
    CommandContext c = Context(idx);
    switch (ops[idx]) {
      case Op::kIf:
        if (!Condition(c)) branchSkip = true;
        return;
      case Op::kElseIf:
        if (elseIfStop) {
          elseIfStop = false;
          if (!Condition(c)) branchSkip = true;
        } else {
          endSkip = true;
        }
        return;
      case Op::kElse: endSkip = true; return;
      case Op::kEnd: return;
      case Op::kWizardLoop:
        inLoop = true;
        direction = 1;
        return;
      case Op::kDisplayDialog: DisplayDialog(c); return;
      default: break;
    }
    const CommandEntry* e = entries[idx];
    if (!e) return;  // not a command of the table: nothing to do
    switch (e->family) {
      case Family::kCore: RunCore(c); return;
      case Family::kValues: RunValues(c); return;
      case Family::kPages:
        if (name == "Hide Dialog" && pages) {
          pages->Hide();
          currentWindow = 0;
          vars.Define("WINDOWHANDLE", "0", c.Source());
          return;
        }
        if (!pages) throw ScriptError(ErrorId::kNoPages, name);
        throw ScriptError(ErrorId::kNotBuilt, name);
      default: throw ScriptError(ErrorId::kNotBuilt, name);
    }
  }

  void RunValues(CommandContext& c) {
    const std::string& n = c.name;
    if (n == "Mathematics") RunMathematics(c);
    else if (n == "Parse String") RunParseString(c);
    else if (n == "Replace String") RunReplaceString(c);
    else if (n == "Convert Case") RunConvertCase(c);
    else if (n == "Extract Path") RunExtractPath(c);
    else if (n == "Evaluate Expression") RunEvaluateExpression(c);
    else throw ScriptError(ErrorId::kNotBuilt, n);
  }

  void RunCore(CommandContext& c) {
    const std::string& n = c.name;
    if (n == "Comment" || n == "Label" || n == "Code Folding Region") return;
    if (n == "GoTo Label") return GoToLabel(c);
    if (n == "Set Variable") return SetVariable(c, true, "Set Variable Action");
    if (n == "Localization Variable") return SetVariable(c, false, "Localization Variable Action");
    if (n == "MessageBox") return MessageBox(c);
    if (n == "Terminate Install") {
      ended = true;
      return;
    }
    if (n == "Terminate with Exit Code") {
      auto v = base::ParseInt(c.Expanded(1));
      session.exitCode = v && *v >= INT32_MIN && *v <= INT32_MAX ? static_cast<int>(*v) : 0;
      ended = true;
      return;
    }
    if (n == "Reboot Computer") {
      machine::Machine::Current().RequestReboot("Reboot Computer");
      ended = true;
      return;
    }
    if (n == "Reboot and Resume") return RebootAndResume();
    if (n == "Set 64 Bit Mode") {
      if (base::IsTrueText(c.Param(1))) platformMode = "Win32";
      if (base::IsTrueText(c.Param(2))) platformMode = "ia64";
      if (base::IsTrueText(c.Param(3))) platformMode = "x64";
      return;
    }
    if (n == "Delete Files Recursive") return DeleteFilesRecursive(c);
    throw ScriptError(ErrorId::kNotBuilt, n);
  }

  void GoToLabel(CommandContext& c) {
    std::string label = c.Param(1);
    auto it = labels.find(base::UpperCase(label));
    if (it == labels.end()) throw ScriptError(ErrorId::kLabelUndefined, label);
    pc = it->second;
    branchSkip = endSkip = elseIfStop = inLoop = false;
  }

  void SetVariable(CommandContext& c, bool persistenceSuffix, std::string_view source) {
    std::string name = c.Param(1);
    std::string value = persistenceSuffix
                            ? c.Translated(2, 2)
                            : c.TranslatedWithKey(2, "Forgecraft$" + Variables::StripReference(name) + "$Forgecraft", 2);
    bool persist = false;
    if (persistenceSuffix) {
      std::size_t m = name.find("$ZEKO$ZEKO$");
      if (m != std::string::npos) {
        persist = name.substr(m + 11) == "TRUE";
        name.erase(m);
      }
    }
    name = Variables::StripReference(name);
    if (name.empty()) return;
    if (!vars.Exists(name)) vars.Define(base::UpperCase(name), "", c.Source());
    vars.Set(name, value, source);
    if (persist) {
      std::string upper = base::UpperCase(name);
      if (std::find(persistent.begin(), persistent.end(), upper) == persistent.end()) persistent.push_back(upper);
    }
    if (base::SameText(name, "PROGRESS") || base::SameText(name, "PROGRESSTEXT")) PushProgress(true);
  }

  void MessageBox(CommandContext& c) {
    if (Silent()) return;
    std::string caption = c.Translated(1, 1), text = c.Translated(2, 2);
    unsigned icon = 0;
    const std::string ic = c.Param(3);
    if (ic == "0") icon = kMbIconInformation;
    else if (ic == "1") icon = kMbIconQuestion;
    else if (ic == "2") icon = kMbIconWarning;
    else if (ic == "3") icon = kMbIconError;
    unsigned buttons = kMbOk;
    const std::string bc = c.Param(4);
    if (bc == "0") buttons = kMbAbortRetryIgnore;
    else if (bc == "2") buttons = kMbOkCancel;
    else if (bc == "3") buttons = kMbRetryCancel;
    else if (bc == "4") buttons = kMbYesNo;
    else if (bc == "5") buttons = kMbYesNoCancel;
    void* owner = reinterpret_cast<void*>(currentWindow);
    int r = machine::ShowMessageBox(caption, text, icon | buttons, owner);
    static const char* const kResults[] = {"", "OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES", "NO"};
    const std::string var = c.Param(5);
    if (!var.empty() && r >= 1 && r <= 7) c.SetResult(var, kResults[r]);
  }

  void DisplayDialog(CommandContext& c) {
    if (!pages) throw ScriptError(ErrorId::kNoPages, c.name);
    const std::string skipVar = c.Param(4);
    if (!skipVar.empty()) {
      bool has = base::IsTrueText(vars.Get(Variables::StripReference(skipVar)));
      if (has == base::IsTrueText(c.Param(6))) return;  // page skipped; the loop keeps its direction
    }
    const bool modal = inLoop || base::IsTrueText(c.Param(3));
    PageResult r = pages->Show(base::IntToStr(c.index), c.Param(1), modal);
    if (modal) {
      currentWindow = 0;
      vars.Define("WINDOWHANDLE", "0", c.Source());
    } else {
      r.code = kPageNotModal;
      currentWindow = r.window;
      vars.Define("WINDOWHANDLE", std::to_string(r.window), c.Source());
    }
    const std::string text = PageResultText(r);
    const std::string var = c.Param(2);
    if (!var.empty()) c.SetResult(var, text);
    if (inLoop) {
      if (text == "CANCEL") direction = 0;
      else if (text == "NEXT") direction = 1;
      else if (text == "BACK") direction = -1;
    }
  }

  // --- plug-ins -------------------------------------------------------------------
  bool WinFileExists(const std::string& winPath) const {
    std::string host = machine::Machine::Current().ToHost(winPath);
    return !host.empty() && base::FileExists(host);
  }

  void RunPlugin(int idx) {
    CommandContext c = Context(idx);
    const std::string p2 = c.Param(2);
    const std::string sub = script.PayloadFolder(idx);
    std::string lib;
    if (sub.empty()) {
      lib = session.supportFolder + machine::ExtractFileName(p2);
    } else {
      if (script.mediaMode == 2) throw ScriptError(ErrorId::kNotBuilt, "Web Media Block");
      std::string root = session.dataFolder;
      lib = root + sub + p2;
      if (script.mediaMode == 3 && !WinFileExists(lib)) {
        if (!session.setupSourcesFolder.empty()) root = machine::IncludeTrailingBackslash(session.setupSourcesFolder);
        if (!sourcesMarker.empty() && WinFileExists(session.dataFolder + sourcesMarker)) root = session.dataFolder;
        lib = root + sub + p2;
      }
      if ((script.mediaMode == 1 || script.mediaMode == 3) && !WinFileExists(lib)) {
        while (true) {
          std::optional<std::string> folder;
          if (!Silent() && sourcesPrompt) folder = sourcesPrompt(kLocateSources);
          if (!folder) throw ScriptError(ErrorId::kSourcesRequired);
          std::string f = machine::IncludeTrailingBackslash(*folder);
          if (!sourcesMarker.empty() && WinFileExists(f + sourcesMarker)) {
            root = f;
            break;
          }
          if (!sourcesMarker.empty() && WinFileExists(f + "data\\" + sourcesMarker)) {
            root = f + "data\\";
            break;
          }
        }
        lib = root + sub + p2;
      }
    }
    if (WinFileExists(lib)) throw ScriptError(ErrorId::kPluginNotRunnable, c.name);
    if (!Silent())
      machine::ShowMessageBox(session.Caption(), kUnableToLoadPlugin, kMbOk | kMbIconError,
                              reinterpret_cast<void*>(currentWindow));
  }

  // --- files ----------------------------------------------------------------------
  static std::vector<fs::path> FindAll(const fs::path& dir, std::string_view mask) {
    std::vector<fs::path> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec))
      if (MatchMask(it->path().filename().string(), mask)) found.push_back(it->path());
    return found;
  }

  void DeleteFilesRecursive(CommandContext& c) {
    const std::string pattern = c.ExpandedPath(1);
    const std::string folder = machine::ExtractFilePath(pattern);
    std::string mask = machine::ExtractFileName(pattern);
    if (mask.empty()) mask = "*.*";
    const std::string host = machine::Machine::Current().ToHost(folder);
    if (host.empty()) return;
    std::size_t previous = static_cast<std::size_t>(-1);
    // Repeats while a search finds a different number of entries; bounded so
    // that a folder that keeps changing under us cannot hold the run.
    for (int round = 0; round < 16; ++round) {
      std::vector<fs::path> found = FindAll(host, mask);
      if (found.size() == previous) break;
      previous = found.size();
      std::error_code ec;
      for (auto it = found.rbegin(); it != found.rend(); ++it) {
        fs::permissions(*it, fs::perms::owner_all, fs::perm_options::add, ec);
        if (!fs::is_directory(fs::symlink_status(*it, ec))) fs::remove(*it, ec);
      }
      for (auto it = found.rbegin(); it != found.rend(); ++it)
        if (fs::is_directory(fs::symlink_status(*it, ec))) fs::remove(*it, ec);
    }
  }

  int Run() {
    state = RunState::kPreparing;
    if (!Prepare()) {
      state = RunState::kEnded;
      return session.exitCode;
    }
    Execute();
    return session.exitCode;
  }
};

Interpreter::Interpreter(Script& script, Session& session) : impl_(std::make_unique<Impl>(script, session)) {}
Interpreter::~Interpreter() {
  if (impl_->session.variables == &impl_->vars) impl_->session.variables = nullptr;
}
int Interpreter::Run() { return impl_->Run(); }
void Interpreter::SetPageHost(PageHost* host) { impl_->pages = host; }
void Interpreter::SetStepCallback(std::function<bool(int)> cb) { impl_->step = std::move(cb); }
void Interpreter::SetSourcesPrompt(std::function<std::optional<std::string>(std::string_view)> prompt) {
  impl_->sourcesPrompt = std::move(prompt);
}
void Interpreter::SetBootstrap(std::function<void(RunContext&)> bootstrap) {
  impl_->bootstrap = std::move(bootstrap);
}
void Interpreter::SetStepRefresh(std::function<void(RunContext&)> refresh) { impl_->stepRefresh = std::move(refresh); }
RunContext Interpreter::Context() { return impl_->Context(); }
void Interpreter::SetTranslator(std::function<std::optional<std::string>(std::string_view, int)> translate) {
  impl_->translate = std::move(translate);
}
Variables& Interpreter::variables() { return impl_->vars; }
const std::string& Interpreter::PlatformMode() const { return impl_->platformMode; }
const std::string& Interpreter::LastRuntimeError() const { return impl_->lastError; }
int Interpreter::LastRuntimeErrorLine() const { return impl_->lastErrorLine; }
const std::vector<std::string>& Interpreter::PersistentVariables() const { return impl_->persistent; }
const std::vector<std::pair<std::string, std::string>>& Interpreter::PropertyLog() const {
  return impl_->propertyLog;
}

}  // namespace engine
