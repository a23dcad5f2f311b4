// The engine cache with the real setupengine and setups made by the real
// setupbuilder, on fresh machine folders: first installation, maintenance
// and upgrade told apart, the instance record, the user's choices across
// runs, the target folder of an ordinary user, relocation by
// OVERRIDECACHE, "Reboot and Resume" and damaged input.  Installed products
// are registered through the installer service, as an installation would.
#include <algorithm>

#include "engine/startup/tests/setup_fixture.h"
#include "platform/base/text.h"
#include "platform/machine/installer_service.h"
#include "platform/machine/machine.h"
#include "platform/machine/registry.h"

using namespace setup_test;

namespace {

constexpr const char* kProduct = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
constexpr const char* kRev1 = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kRev2 = "{99999999-8888-7777-6666-555555555555}";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kCacheKey = "SOFTWARE\\Tolbrook\\Corvane\\Ident.Cache\\";

// A setup that keeps KEEP (persistent) when it does not exist yet (nothing
// stored it) and shows what the bootstrap found.
std::string ProbeSource(const std::string& revision, const std::string& extra = "") {
  return std::string("[setup]\nTitle = Probe\nProductCode = ") + kProduct + "\nRevisionCode = " + revision + "\n" + extra +
         "[script]\n"
         "If\n    > KEEP\n    > 5\n    >\n    > TRUE\n"
         "Set Variable\n    > KEEP$ZEKO$ZEKO$TRUE\n    > kept from $REVISIONCODE$\n"
         "End\n"
         "MessageBox\n    > State\n"
         "    > $MAINTENANCE$|$NEEDSUPGRADE$|$NEWINSTANCE$|$ENGINECACHE$|$UNINSTALLLINK$|$TARGETDIR$|$ALLUSERS$|$KEEP$\n"
         "    > 0\n    > 1\n    >\n";
}

struct State {
  std::string maintenance, upgrade, newInstance, cache, link, target, allUsers, keep;
};

// Windows command-line splitting (the C runtime's rules), for the resume entry.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == '\\') ++n, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2) {
            arg += '"';
            continue;
          }
          --i;
          continue;
        }
        arg.append(n, '\\');
        --i;
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
        continue;
      }
      if (!quoted && (c == ' ' || c == '\t')) break;
      arg += c;
    }
    out.push_back(arg);
  }
  return out;
}

class EngineCacheTest : public SetupFixture {
 protected:
  machine::Machine& Machine() {
    if (!machine_obj_) machine_obj_ = std::make_unique<machine::Machine>(machine_.string());
    machine_obj_->ReloadProfile();
    return *machine_obj_;
  }
  std::string User() { return Machine().profile().userName; }

  void Register(const std::string& packageCode, bool perMachine = true) {
    machine::ProductRecord p;
    p.productCode = kProduct;
    p.packageCode = packageCode;
    p.productName = "Probe";
    p.perMachine = perMachine;
    ASSERT_TRUE(machine::InstallerService(Machine()).RegisterProduct(p));
  }

  // The box with this caption, split at "|".
  std::vector<std::string> BoxParts(const std::string& caption) {
    for (const std::string& b : Boxes())
      if (b.rfind(caption + "|", 0) == 0) return base::Split(b, '|');
    return {};
  }
  State RunProbe(const std::vector<std::string>& args = {}) {
    fs::remove(root_ / "boxes.log");
    const RunResult r = RunSetup(args);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0) << r.stderrText;
    const auto b = BoxParts("State");  // State|m|u|n|cache|link|target|all|keep|64
    if (b.size() != 10) {
      ADD_FAILURE() << "no state box: " << r.stderrText;
      return {};
    }
    return State{b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8]};
  }

  fs::path Host(const std::string& windowsPath) { return Machine().ToHost(windowsPath); }

  std::unique_ptr<machine::Machine> machine_obj_;
};

TEST_F(EngineCacheTest, FirstInstallationMaintenanceAndUpgradeAreToldApart) {
  Build(ProbeSource(kRev1));
  const std::string cache1 = std::string("C:\\ProgramData\\") + kRev1 + "\\";

  // First installation: nothing installed, no cache yet.
  State s = RunProbe();
  EXPECT_EQ(s.maintenance, "FALSE");
  EXPECT_EQ(s.upgrade, "FALSE");
  EXPECT_EQ(s.newInstance, "FALSE");
  EXPECT_EQ(s.cache, cache1);
  EXPECT_EQ(s.link, cache1 + "setup");
  EXPECT_EQ(s.target, "C:\\Program Files (x86)\\Probe\\");
  EXPECT_EQ(s.allUsers, "TRUE");
  EXPECT_EQ(s.keep, std::string("kept from ") + kRev1);
  // The run's choices are in the cache now.
  const std::vector<std::string> choices = Lines(ReadAll(Host(cache1 + "setup.dat")));
  EXPECT_NE(std::find(choices.begin(), choices.end(), "KEEP"), choices.end());
  EXPECT_EQ(choices.end()[-4], "ZEKO64WOW");
  EXPECT_EQ(choices.end()[-3], "Win32");

  // Maintenance: the same package installed; KEEP comes back from the
  // choices file although the script does not set it now.
  Register(kRev1);
  s = RunProbe();
  EXPECT_EQ(s.maintenance, "TRUE");
  EXPECT_EQ(s.upgrade, "FALSE");
  EXPECT_EQ(s.newInstance, "TRUE");
  EXPECT_EQ(s.cache, cache1);
  EXPECT_EQ(s.keep, std::string("kept from ") + kRev1);

  // Upgrade: a newer build of the same product.  Without #LOADOLDDATA# the
  // earlier choices stay behind; with it, they carry over.
  machine::Registry(Machine(), true)
      .SetValue(machine::RegRoot::LocalMachine, std::string(kCacheKey) + kProduct, "",
                machine::RegValue::String(cache1));
  for (bool loadOld : {false, true}) {
    SCOPED_TRACE(loadOld ? "LOADOLDDATA" : "no LOADOLDDATA");
    fs::remove_all(out_);
    Build(ProbeSource(kRev2, loadOld ? "[compiler]\nLOADOLDDATA = TRUE\n" : ""));
    s = RunProbe();
    EXPECT_EQ(s.maintenance, "FALSE");
    EXPECT_EQ(s.upgrade, "TRUE");
    EXPECT_EQ(s.newInstance, "TRUE");
    // The registered folder names the old revision: not this build's base rule.
    EXPECT_EQ(s.cache, std::string("C:\\ProgramData\\") + kRev2 + "\\");
    EXPECT_EQ(s.keep, std::string("kept from ") + (loadOld ? kRev1 : kRev2));
    fs::remove_all(Host(std::string("C:\\ProgramData\\") + kRev2 + "\\"));
  }
}

TEST_F(EngineCacheTest, RegisteredCacheFolderOfThisRevisionIsTheBase) {
  Build(ProbeSource(kRev1));
  struct Case { const char* registered; const char* cache; };
  const std::string rev = kRev1;
  const Case cases[] = {
      {"D:\\Elsewhere\\{11111111-2222-3333-4444-555555555555}\\", "D:\\Elsewhere\\"},
      {"C:\\Caches\\{11111111-2222-3333-4444-555555555555}", "C:\\Caches\\"},
      {"C:\\Caches\\NotTheRevision\\", "C:\\ProgramData\\"},  // ignored: the shell folder rule
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.registered);
    machine::Registry(Machine(), true)
        .SetValue(machine::RegRoot::LocalMachine, std::string(kCacheKey) + kProduct, "",
                  machine::RegValue::String(c.registered));
    EXPECT_EQ(RunProbe().cache, c.cache + rev + "\\");
  }
}

TEST_F(EngineCacheTest, InstanceRecordBesideTheEngineTakesOverTheIdentity) {
  Build(ProbeSource(kRev1) +
        "MessageBox\n    > Identity\n    > $PRODUCTCODE$|$REVISIONCODE$|$TITLE$|$STARTMENU$|$NEWINSTANCE$\n"
        "    > 0\n    > 1\n    >\n");
  const std::string other = "{ABCDEF01-1111-2222-3333-444444444444}";
  const std::string otherRev = "{ABCDEF01-9999-8888-7777-666666666666}";
  struct Case { const char* what; std::string file; std::string expect; };
  const Case cases[] = {
      {"three lines", other + "\r\n" + otherRev + "\r\nOther Title\r\n",
       other + "|" + otherRev + "|Other Title|Other Title|FALSE"},
      {"one line", other, other + "|" + kRev1 + "|Probe|Probe|FALSE"},
      {"empty", "", std::string(kProduct) + "|" + kRev1 + "|Probe|Probe|FALSE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(out_ / "instance.dat", c.file);
    fs::remove(root_ / "boxes.log");
    const RunResult r = RunSetup({});
    EXPECT_EQ(r.status, 0) << r.stderrText;
    const auto b = BoxParts("Identity");
    ASSERT_EQ(b.size(), 7u) << r.stderrText;
    EXPECT_EQ(b[1] + "|" + b[2] + "|" + b[3] + "|" + b[4] + "|" + b[5], c.expect);
  }
  // The other identity installed with its own package code: maintenance,
  // but not a new instance, since the record lies beside the engine.
  machine::ProductRecord p;
  p.productCode = other;
  p.packageCode = otherRev;
  ASSERT_TRUE(machine::InstallerService(Machine()).RegisterProduct(p));
  WriteAll(out_ / "instance.dat", other + "\r\n" + otherRev + "\r\nOther Title\r\n");
  const State s = RunProbe();
  EXPECT_EQ(s.maintenance, "TRUE");
  EXPECT_EQ(s.newInstance, "FALSE");
  EXPECT_EQ(s.cache, "C:\\ProgramData\\" + otherRev + "\\");
  EXPECT_EQ(s.target, "C:\\Program Files (x86)\\Other Title\\");
}

TEST_F(EngineCacheTest, TargetAndCacheFollowTheUserAndTheSystem) {
  struct Case { const char* what; const char* profile; const char* target; const char* allUsers; const char* base; };
  const Case cases[] = {
      {"ordinary user", "[User]\r\nUserName=alice\r\nAdministrator=0\r\nElevated=0\r\n", "C:\\Users\\alice\\Probe\\",
       "FALSE", "C:\\Users\\alice\\AppData\\Local\\"},
      {"administrator, 32-bit", "[Windows]\r\nIs64Bit=0\r\n[User]\r\nUserName=alice\r\n", "C:\\Program Files\\Probe\\",
       "TRUE", "C:\\ProgramData\\"},
      {"Windows 9x", "[Windows]\r\nFamily=9x\r\nVersionMajor=4\r\nVersionMinor=10\r\nIs64Bit=0\r\n",
       "C:\\Program Files\\Probe\\", "FALSE", "C:\\Program Files\\Common Files\\"},
  };
  Build(ProbeSource(kRev1));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(machine_);
    machine_obj_.reset();
    WriteAll(machine_ / "profile.ini", c.profile);
    const State s = RunProbe();
    EXPECT_EQ(s.target, c.target);
    EXPECT_EQ(s.allUsers, c.allUsers);
    EXPECT_EQ(s.cache, std::string(c.base) + kRev1 + "\\");
    EXPECT_TRUE(fs::exists(Host(s.cache + "setup.dat")));
  }
}

TEST_F(EngineCacheTest, OverrideCacheRelocatesTheCacheOrFallsBack) {
  WriteAll(machine_ / "drive_c" / "blocker", "a file where a folder would be");
  const std::string src = std::string("[setup]\nTitle = Probe\nRevisionCode = ") + kRev1 +
                          "\n[script]\n"
                          "MessageBox\n    > State\n    > $OVERRIDECACHE$|$ENGINECACHE$|$UNINSTALLLINK$\n"
                          "    > 0\n    > 1\n    >\n";
  Build(src);
  const std::string rev = kRev1;
  struct Case { const char* what; const char* value; std::string shown; };
  const Case cases[] = {
      {"new folders", "C:\\Caches\\deep", "C:\\Caches\\deep\\|C:\\Caches\\deep\\" + rev + "\\|C:\\Caches\\deep\\" + rev +
                                              "\\setup"},
      {"existing folder", "C:\\ProgramData\\Mine\\", "C:\\ProgramData\\Mine\\|C:\\ProgramData\\Mine\\" + rev + "\\|" +
                                                         "C:\\ProgramData\\Mine\\" + rev + "\\setup"},
      {"drive that maps nowhere", "Q:\\cache\\", "|C:\\ProgramData\\" + rev + "\\|C:\\ProgramData\\" + rev + "\\setup"},
      {"a file in the way", "C:\\blocker\\cache\\", "|C:\\ProgramData\\" + rev + "\\|C:\\ProgramData\\" + rev + "\\setup"},
  };
  fs::create_directories(machine_ / "drive_c" / "ProgramData" / "Mine");
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (silent ? " (silent)" : ""));
      fs::remove(root_ / "boxes.log");
      // Silent runs cannot show the box: the value goes to a trace-free
      // check of the folders only.
      const RunResult r = RunSetup(silent ? std::vector<std::string>{"/s", std::string("OVERRIDECACHE=") + c.value}
                                          : std::vector<std::string>{std::string("OVERRIDECACHE=") + c.value});
      EXPECT_EQ(r.status, 0) << r.stderrText;
      if (!silent) {
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"State|" + c.shown + "|64"}));
      }
      // The folders made to test the value are gone again; nothing was kept.
      EXPECT_FALSE(fs::exists(machine_ / "drive_c" / "Caches"));
      EXPECT_FALSE(fs::exists(machine_ / "drive_c" / "blocker" / "cache"));
      EXPECT_TRUE(fs::is_directory(machine_ / "drive_c" / "ProgramData" / "Mine"));
    }
  }
}

TEST_F(EngineCacheTest, OverrideSetByTheScriptMovesTheCacheOfTheNextCommand) {
  Build(std::string("[setup]\nTitle = Probe\nRevisionCode = ") + kRev1 +
        "\n[script]\n"
        "Set Variable\n    > KEEP$ZEKO$ZEKO$TRUE\n    > yes\n"
        "Set Variable\n    > OVERRIDECACHE\n    > C:\\Moved\n"
        "MessageBox\n    > State\n    > $OVERRIDECACHE$|$ENGINECACHE$\n    > 0\n    > 1\n    >\n");
  const RunResult r = RunSetup({});
  EXPECT_EQ(r.status, 0) << r.stderrText;
  const std::string moved = std::string("C:\\Moved\\") + kRev1 + "\\";
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"State|C:\\Moved\\|" + moved + "|64"}));
  // With a persistent variable the choices land in the moved cache, and
  // the override is kept for the next run.
  const std::vector<std::string> lines = Lines(ReadAll(Host(moved + "setup.dat")));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.end()[-2], "OVERRIDECACHE");
  EXPECT_EQ(lines.end()[-1], "C:\\Moved\\");
  EXPECT_FALSE(fs::exists(Host(std::string("C:\\ProgramData\\") + kRev1)));
}

TEST_F(EngineCacheTest, RebootAndResumeStartsTheEngineAgainWithItsCommandLine) {
  struct Case { const char* what; bool admin; machine::RegRoot root; };
  const Case cases[] = {
      {"administrator", true, machine::RegRoot::LocalMachine},
      {"ordinary user", false, machine::RegRoot::CurrentUser},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(machine_);
    machine_obj_.reset();
    WriteAll(machine_ / "profile.ini",
             std::string("[User]\r\nUserName=bob\r\nAdministrator=") + (c.admin ? "1" : "0") + "\r\n");
    out_ = root_ / "my setup";  // a blank in the engine's path
    fs::remove_all(out_);
    Build(std::string("[setup]\nTitle = Probe\nProductCode = ") + kProduct + "\nRevisionCode = " + kRev1 +
          "\n[script]\n"
          "If\n    > STAGE\n    > 0\n    > 2\n    > TRUE\n"
          "Set Variable\n    > STAGE$ZEKO$ZEKO$TRUE\n    > 2\n"
          "Reboot and Resume\n"
          "End\n"
          "MessageBox\n    > Resumed\n    > $STAGE$|$CMDLINE$\n    > 0\n    > 1\n    >\n");
    fs::remove(root_ / "boxes.log");
    const std::vector<std::string> args{"/x", "COLOUR=Dark Red", "say \"hi\""};
    RunResult r = RunSetup(args);
    EXPECT_EQ(r.status, 0) << r.stderrText;
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Machine().RebootRequests().size(), 1u);

    // The entry: named by the product code's first eight hex digits.
    machine::Registry reg(Machine());
    const std::string entry = reg.ReadString(c.root, kRunKey, "6B29FC40");
    ASSERT_FALSE(entry.empty());
    const machine::RegRoot other =
        c.root == machine::RegRoot::LocalMachine ? machine::RegRoot::CurrentUser : machine::RegRoot::LocalMachine;
    EXPECT_EQ(reg.ReadString(other, kRunKey, "6B29FC40"), "");

    // "After the reboot": start what the entry names, with its arguments.
    std::vector<std::string> argv = SplitCommandLine(entry);
    ASSERT_FALSE(argv.empty());
    const fs::path program = Machine().ToHost(argv.front());
    EXPECT_EQ(program, out_ / "setup");
    argv.erase(argv.begin());
    EXPECT_EQ(argv, args);
    r = Run(program, argv);
    EXPECT_EQ(r.status, 0) << r.stderrText;
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Resumed|2|/x \"COLOUR=Dark Red\" \"say \\\"hi\\\"\"|64"}));
    // The resumed run removed its entry before its first command.
    EXPECT_EQ(reg.ReadString(c.root, kRunKey, "6B29FC40"), "");
    EXPECT_EQ(Machine().RebootRequests().size(), 1u);
  }
}

TEST_F(EngineCacheTest, DamagedChoicesFileKeepsTheDefaults) {
  Build(ProbeSource(kRev1));
  const std::string cache = std::string("C:\\ProgramData\\") + kRev1 + "\\";
  std::string junk(5000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::pair<const char*, std::string> inputs[] = {
      {"truncated in the lists", "ZEKO-PREDEF-COMPONENT\r\nTRUE\r\n$\r\n$\r\n"},
      {"no terminators", "A\r\nB\r\nC:\\Elsewhere\\\r\nTRUE\r\n"},
      {"binary junk", junk},
      {"odd pairs", "$\r\n$\r\n$\r\n$\r\n$\r\n$\r\nC:\\Chosen\\\r\nTRUE\r\nMenu\r\n\r\nKEEP\r\n"},
  };
  for (const auto& [what, bytes] : inputs) {
    SCOPED_TRACE(what);
    WriteAll(Host(cache + "setup.dat"), bytes);
    const State s = RunProbe();
    if (std::string(what) == "odd pairs")
      EXPECT_EQ(s.target, "C:\\Chosen\\");  // what could be read is taken
    else
      EXPECT_EQ(s.target, "C:\\Program Files (x86)\\Probe\\");
    EXPECT_EQ(s.keep, std::string("kept from ") + kRev1);
  }
}

TEST_F(EngineCacheTest, MalformedHiveIsReportedOnceAndLeftAsItIs) {
  Build(ProbeSource(kRev1) + "Reboot and Resume\n");
  Machine();  // a fresh machine with its hives
  const fs::path hive = machine_ / "registry" / "HKLM.reg";
  std::string text = ReadAll(hive);
  ASSERT_FALSE(text.empty());
  text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Broken\r\n\"value\"=dword:nothex\r\n";
  WriteAll(hive, text);
  const fs::path log = root_ / "trace.log";
  const RunResult r = RunSetup({"/l=" + log.string()});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0) << r.stderrText;
  EXPECT_EQ(ReadAll(hive), text);  // byte for byte
  const std::vector<std::string> lines = Lines(FromUtf16(ReadAll(log)));
  const auto reports = std::count_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.find("HKLM.reg") != std::string::npos; });
  EXPECT_EQ(reports, 1) << ReadAll(log);
  EXPECT_EQ(lines.front(), "<Corvane>");
  EXPECT_EQ(lines.back(), "</Corvane>");
}

}  // namespace
