// The engine cache's files and its bootstrap in-process: the choices file
// (round trip, update, damaged input), the instance record, property log and
// language file, and what a stored choices file gives back to a run
// (component tables, sizes, platform mode, property log) on a fresh machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/script/interpreter.h"
#include "engine/script/tests/script_builder.h"
#include "engine/startup/cache_files.h"
#include "engine/startup/choices_file.h"
#include "engine/startup/engine_cache.h"
#include "engine/startup/folder_attributes.h"
#include "platform/base/text.h"
#include "platform/machine/installer_service.h"
#include "platform/machine/machine.h"
#include "platform/machine/message_box.h"
#include "platform/machine/registry.h"
#include "platform/base/files.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) { return base::ReadFileBytes(p.string()).value_or(""); }
void WriteAll(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/engine-cache-XXXXXX";
    root_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  fs::path root_;
};

engine::ChoicesData Sample() {
  engine::ChoicesData d;
  d.hasLists = true;
  d.names = base::TStringList({"ZEKO-PREDEF-COMPONENT", "Program\\Help", "$"});
  d.states = base::TStringList({"TRUE", "FALSE", "TRUE"});
  d.deleted = base::TStringList({"Old"});
  d.hidden = base::TStringList({"Program\\Help"});
  d.locked = base::TStringList();
  d.sizes = base::TStringList({"ZEKO-PREDEF-COMPONENT", "11713939", "Program\\Help", "5000000000"});
  d.targetDir = "C:\\Program Files\\Démo\\";
  d.allUsers = "TRUE";
  d.startMenu = "Démo";
  d.dataFolder = "Z:\\media\\data\\";
  d.pairs = {{"NOTE", "line one\r\nline two"}, {"BARE", "a\nb\rc"}, {"ZEKO64WOW", "x64"}, {"OVERRIDECACHE", ""}};
  return d;
}

using ChoicesFile = TempFolder;

TEST_F(ChoicesFile, RoundTripKeepsEveryValue) {
  const fs::path file = root_ / "setup.dat";
  ASSERT_TRUE(engine::WriteChoicesFile(file.string(), Sample()));
  const std::string bytes = ReadAll(file);
  EXPECT_NE(bytes.find("C:\\Program Files\\D\xE9mo\\\r\n"), std::string::npos);  // ANSI on disk
  EXPECT_NE(bytes.find("\r\n$DOLLAR$\r\n$\r\n"), std::string::npos);            // "$" cannot end its list
  EXPECT_NE(bytes.find("line one$NEWLINE$line two\r\n"), std::string::npos);
  auto d = engine::ReadChoicesFile(file.string());
  ASSERT_TRUE(d);
  const engine::ChoicesData want = Sample();
  EXPECT_TRUE(d->hasLists);
  EXPECT_EQ(d->names.Items(), want.names.Items());
  EXPECT_EQ(d->states.Items(), want.states.Items());
  EXPECT_EQ(d->deleted.Items(), want.deleted.Items());
  EXPECT_EQ(d->hidden.Items(), want.hidden.Items());
  EXPECT_TRUE(d->locked.Empty());
  EXPECT_EQ(d->sizes.Items(), want.sizes.Items());
  EXPECT_EQ(d->targetDir, want.targetDir);
  EXPECT_EQ(d->startMenu, want.startMenu);
  EXPECT_EQ(d->dataFolder, want.dataFolder);
  ASSERT_EQ(d->pairs.size(), 4u);
  EXPECT_EQ(d->pairs[0].second, "line one\r\nline two");
  EXPECT_EQ(d->pairs[1].second, "a\r\nb\r\nc");  // bare breaks come back as CR LF, lines never shift
  EXPECT_EQ(d->pairs[2], (std::pair<std::string, std::string>{"ZEKO64WOW", "x64"}));
  EXPECT_EQ(d->pairs[3], (std::pair<std::string, std::string>{"OVERRIDECACHE", ""}));
}

TEST_F(ChoicesFile, DamagedInputKeepsWhatCannotBeRead) {
  struct Case {
    const char* what;
    std::string bytes;
    bool lists;
    std::optional<std::string> target;
    std::size_t pairs;
  };
  const std::string lists = "A\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\n$\r\nA\r\n7\r\n$\r\n";
  std::string binary(4000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 9);
  const Case cases[] = {
      {"empty", "", false, std::nullopt, 0},
      {"truncated in the lists", "A\r\nTRUE\r\n$\r\n$\r\n", false, std::nullopt, 0},
      {"a terminator missing", "A\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\nA\r\n7\r\nC:\\T\\\r\nTRUE\r\n", false, std::nullopt, 0},
      {"lists only", lists, true, std::nullopt, 0},
      {"cut after the target", lists + "C:\\T\\\r\n", true, "C:\\T\\", 0},
      {"pair without value", lists + "C:\\T\\\r\nTRUE\r\nM\r\n\r\nA\r\n1\r\nB\r\n", true, "C:\\T\\", 1},
      {"junk names", lists + "C:\\T\\\r\nTRUE\r\nM\r\n\r\n\r\nv\r\n$X$\r\nv\r\nA\x01\r\nv\r\nOK\r\n1\r\n", true, "C:\\T\\",
       1},
      {"LF only", "A\nTRUE\n$\n$\n$\n$\n$\n$\nC:\\T\\\n", true, "C:\\T\\", 0},
      {"binary", binary, false, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const engine::ChoicesData d = engine::ParseChoices(c.bytes);
    EXPECT_EQ(d.hasLists, c.lists);
    EXPECT_EQ(d.targetDir, c.target);
    EXPECT_EQ(d.pairs.size(), c.pairs);
    EXPECT_EQ(d.states.Count(), d.names.Count());
    EXPECT_EQ(d.sizes.Count() % 2, 0);
  }
}

TEST_F(ChoicesFile, UpdateKeepsTheStoredListsAndReplacesTheRest) {
  const fs::path file = root_ / "setup.dat";
  WriteAll(file, "Stored\r\n$\r\nFALSE\r\n$\r\n$\r\nStored\r\n$\r\n$\r\nStored\r\n42\r\n$\r\nC:\\Old\\\r\nFALSE\r\nOld\r\n\r\n"
                 "OLDVAR\r\nx\r\n");
  engine::ChoicesData now = Sample();
  ASSERT_TRUE(engine::UpdateChoicesFile(file.string(), now));
  auto d = engine::ReadChoicesFile(file.string());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->names.Items(), std::vector<std::string>{"Stored"});
  EXPECT_EQ(d->hidden.Items(), std::vector<std::string>{"Stored"});
  EXPECT_EQ(d->sizes.Items(), (std::vector<std::string>{"Stored", "42"}));
  EXPECT_EQ(d->targetDir, now.targetDir);
  ASSERT_EQ(d->pairs.size(), now.pairs.size());
  EXPECT_EQ(d->pairs[0].first, "NOTE");

  // A stored file whose lists cannot be read is written whole.
  WriteAll(file, "Stored\r\nFALSE\r\n");
  ASSERT_TRUE(engine::UpdateChoicesFile(file.string(), now));
  d = engine::ReadChoicesFile(file.string());
  ASSERT_TRUE(d && d->hasLists);
  EXPECT_EQ(d->names.Items(), now.names.Items());
}

TEST(ChoicesDataFolder, ConversionTable) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"Z:\\media\\data", "Z:\\media\\data\\"},
      {"Z:\\media\\data\\\\", "Z:\\media\\data\\"},
      {"C:/setup/data/", "C:\\setup\\data\\"},
      {"\\\\server\\share\\data\\", "\\\\server\\share\\data\\"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(engine::DataFolderLine(in), out) << in;
}

using CacheFiles = TempFolder;

TEST_F(CacheFiles, InstanceRecordPropertyLogAndLanguage) {
  const fs::path inst = root_ / "instance.dat";
  struct Case { const char* what; std::string bytes; engine::InstanceRecord want; };
  const engine::InstanceRecord defaults{"{P}", "{R}", "Title"};
  const Case cases[] = {
      {"three lines", "{A}\r\n{B}\r\nOther\r\n", {"{A}", "{B}", "Other"}},
      {"one line", "{A}", {"{A}", "{R}", "Title"}},
      {"blank lines", "  {A}  \r\n\r\n\r\n", {"{A}", "{R}", "Title"}},
      {"empty", "", defaults},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(inst, c.bytes);
    engine::InstanceRecord r = defaults;
    EXPECT_TRUE(engine::ReadInstanceRecord(inst.string(), r));
    EXPECT_EQ(r.productCode + r.revisionCode + r.title, c.want.productCode + c.want.revisionCode + c.want.title);
  }
  engine::InstanceRecord r = defaults;
  EXPECT_FALSE(engine::ReadInstanceRecord((root_ / "missing.dat").string(), r));
  ASSERT_TRUE(engine::WriteInstanceRecord(inst.string(), {"{A}", "{B}", "Ünïcode"}));
  EXPECT_EQ(ReadAll(inst), "{A}\r\n{B}\r\n\xDCn\xEF" "code\r\n");

  const fs::path par = root_ / "setup.par";
  ASSERT_TRUE(engine::WritePropertyLog(par.string(), {{"AE7518F01", "TRUE"}, {"NOTE", "a\r\nb"}, {"", "dropped"}}));
  EXPECT_EQ(ReadAll(par), "AE7518F01\r\nTRUE\r\nNOTE\r\na$NEWLINE$b\r\n");
  WriteAll(par, ReadAll(par) + "\r\nlost\r\nTRAILING\r\n");
  std::vector<std::pair<std::string, std::string>> log{{"FIRST", "1"}};
  EXPECT_TRUE(engine::ReadPropertyLog(par.string(), log));
  EXPECT_EQ(log, (std::vector<std::pair<std::string, std::string>>{{"FIRST", "1"}, {"AE7518F01", "TRUE"},
                                                                   {"NOTE", "a\r\nb"}}));

  const fs::path lan = root_ / "setup.lan";
  ASSERT_TRUE(engine::WriteLanguageFile(lan.string(), "Deutsch"));
  EXPECT_EQ(engine::ReadLanguageFile(lan.string()), "Deutsch");
  ASSERT_TRUE(engine::WriteLanguageFile(lan.string(), ""));
  EXPECT_FALSE(fs::exists(lan));
  EXPECT_EQ(engine::ReadLanguageFile(lan.string()), "");
}

// --- the bootstrap in-process -------------------------------------------------------

constexpr const char* kProduct = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
constexpr const char* kRevision = "{11111111-2222-3333-4444-555555555555}";

class BootstrapTest : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("SETUPENGINE_MACHINE", (root_ / "machine").c_str(), 1);
    machine::Machine::ResetCurrent();
    fs::create_directories(root_ / "engine");
    WriteAll(root_ / "support" / "setup.msi", "db");
    machine::SetMessageBoxHook([](std::string_view, std::string_view, unsigned) { return machine::IDOK; });
  }
  void TearDown() override {
    machine::SetMessageBoxHook({});
    machine::Machine::ResetCurrent();
    TempFolder::TearDown();
  }
  machine::Machine& M() { return machine::Machine::Current(); }
  fs::path CacheHost() { return M().ToHost(std::string("C:\\ProgramData\\") + kRevision + "\\"); }

  // Runs a script with the engine cache attached; the cache writes after it.
  void Run(const std::string& readable, scripttest::Meta meta = {}) {
    meta.productCode = kProduct;
    meta.revisionCode = kRevision;
    if (meta.componentSizes.empty()) meta.componentSizes = {"ZEKO-PREDEF-COMPONENT", "100", "Docs", "200"};
    script_ = engine::ParseScriptText(scripttest::Compile(readable, meta));
    interp_.reset();
    session_ = engine::Session{};
    session_.engineFolder = M().ToWindows((root_ / "engine").string() + "/");
    session_.exePath = session_.engineFolder + "setup.exe";
    session_.baseName = "setup";
    session_.tempFolder = M().TempPath();
    session_.supportFolder = M().ToWindows((root_ / "support").string() + "/");
    session_.dataFolder = session_.engineFolder + "data\\";
    session_.installerDatabase = session_.supportFolder + "setup.msi";
    interp_ = std::make_unique<engine::Interpreter>(script_, session_);
    cache_ = std::make_unique<engine::EngineCache>(M());
    cache_->Attach(*interp_);
    interp_->Run();
    engine::RunContext c = interp_->Context();
    cache_->WriteAfterRun(c);
  }
  void Install() {
    machine::ProductRecord p;
    p.productCode = kProduct;
    p.packageCode = kRevision;
    ASSERT_TRUE(machine::InstallerService(M()).RegisterProduct(p));
  }
  std::string Var(const std::string& n) { return interp_->variables().Get(n); }

  engine::Script script_;
  engine::Session session_;
  std::unique_ptr<engine::Interpreter> interp_;
  std::unique_ptr<engine::EngineCache> cache_;
};

TEST_F(BootstrapTest, NewInstallationStartsWithTheReservedComponent) {
  Run("Set Variable: KEEP$ZEKO$ZEKO$TRUE | 1");
  const engine::ComponentTables& t = session_.components;
  EXPECT_EQ(t.names.Items(), std::vector<std::string>{"ZEKO-PREDEF-COMPONENT"});
  EXPECT_EQ(t.states.Items(), std::vector<std::string>{"TRUE"});
  // The cache folder is made, recorded hidden and compressed (the default).
  EXPECT_TRUE(fs::exists(CacheHost() / "setup.dat"));
  EXPECT_EQ(engine::FolderHidden(M(), Var("ENGINECACHE")), true);
  EXPECT_EQ(engine::FolderCompressed(M(), Var("ENGINECACHE")), true);
  Run("Set Variable: ZEKO_COMPRESS_INSTALLER_CACHE | FALSE\nSet Variable: KEEP$ZEKO$ZEKO$TRUE | 1");
  EXPECT_EQ(engine::FolderCompressed(M(), Var("ENGINECACHE")), false);
}

TEST_F(BootstrapTest, WithoutPersistentVariablesNothingIsWritten) {
  Run("Set Variable: PLAIN | 1");
  EXPECT_FALSE(fs::exists(CacheHost()));
}

TEST_F(BootstrapTest, MaintenanceRestoresTablesSizesModeAndPropertyLog) {
  engine::ChoicesData d = Sample();
  d.pairs.push_back({"OVERRIDECACHE", ""});
  fs::create_directories(CacheHost());
  ASSERT_TRUE(engine::WriteChoicesFile((CacheHost() / "setup.dat").string(), d));
  ASSERT_TRUE(engine::WritePropertyLog((CacheHost() / "setup.par").string(), {{"STORED", "yes"}}));
  Install();
  Run("Set Variable: X | 1", [] {
    scripttest::Meta m;
    m.componentSizes = {"ZEKO-PREDEF-COMPONENT", "1"};
    return m;
  }());
  EXPECT_EQ(Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(session_.components.names.Items(), d.names.Items());
  EXPECT_EQ(session_.components.hidden.Items(), d.hidden.Items());
  EXPECT_EQ(script_.componentSizes.Items(), d.sizes.Items());
  EXPECT_EQ(interp_->PlatformMode(), "x64");
  EXPECT_EQ(Var("TARGETDIR"), *d.targetDir);
  EXPECT_EQ(Var("NOTE"), "line one\r\nline two");
  EXPECT_FALSE(interp_->variables().Exists("ZEKO64WOW"));
  // The stored names are persistent again, the reserved pairs are not.
  EXPECT_EQ(interp_->PersistentVariables(), (std::vector<std::string>{"NOTE", "BARE"}));
  ASSERT_FALSE(interp_->PropertyLog().empty());
  EXPECT_EQ(interp_->PropertyLog().front(), (std::pair<std::string, std::string>{"STORED", "yes"}));
  // Written back after the run: the stored lists stay, the pairs follow the run.
  auto back = engine::ReadChoicesFile((CacheHost() / "setup.dat").string());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->names.Items(), d.names.Items());
  ASSERT_EQ(back->pairs.size(), 4u);
  EXPECT_EQ(back->pairs[2], (std::pair<std::string, std::string>{"ZEKO64WOW", "x64"}));
}

TEST_F(BootstrapTest, UpgradeCarriesChoicesOverButKeepsTheNewSizes) {
  const std::string oldRev = "{22222222-2222-3333-4444-555555555555}";
  const fs::path oldCache = M().ToHost("C:\\ProgramData\\" + oldRev + "\\");
  engine::ChoicesData d = Sample();
  fs::create_directories(oldCache);
  ASSERT_TRUE(engine::WriteChoicesFile((oldCache / "setup.dat").string(), d));
  WriteAll(oldCache / "other.dat", "not the choices");  // two candidates: the complete one wins
  for (const char* ext : {".exe", ".res", ".msi", ".par"}) WriteAll(oldCache / (std::string("setup") + ext), "x");
  WriteAll(oldCache / "instance.dat", "{P}\r\n{R}\r\nT\r\n");
  machine::Registry(M(), true)
      .SetValue(machine::RegRoot::LocalMachine, std::string(engine::kCacheRegistryKey) + kProduct, "",
                machine::RegValue::String("C:\\ProgramData\\" + oldRev + "\\"));
  machine::ProductRecord p;
  p.productCode = kProduct;
  p.packageCode = oldRev;
  ASSERT_TRUE(machine::InstallerService(M()).RegisterProduct(p));
  scripttest::Meta m;
  m.compilerVariables = {"LOADOLDDATA", "TRUE"};
  Run("Set Variable: X | 1", m);
  EXPECT_EQ(Var("NEEDSUPGRADE"), "TRUE");
  EXPECT_EQ(Var("MAINTENANCE"), "FALSE");
  EXPECT_EQ(Var("NOTE"), "line one\r\nline two");
  EXPECT_EQ(session_.components.names.Items(), d.names.Items());
  EXPECT_EQ(script_.componentSizes.Items(), (std::vector<std::string>{"ZEKO-PREDEF-COMPONENT", "100", "Docs", "200"}));
  EXPECT_EQ(interp_->PlatformMode(), "x64");
}

TEST_F(BootstrapTest, InstallationFillsTheCacheWhichTheNextRunMaintains) {
  WriteAll(root_ / "engine" / "setup.exe", "engine");
  WriteAll(root_ / "engine" / "setup.res", "support files");
  Run("Set Variable: KEEP$ZEKO$ZEKO$TRUE | kept\nSet Variable: LANGUAGE | Deutsch");
  engine::RunContext c = interp_->Context();
  ASSERT_TRUE(cache_->UpdateSetupCache(c, true));
  const fs::path cache = CacheHost();
  EXPECT_EQ(ReadAll(cache / "setup.exe"), "engine");
  EXPECT_EQ(ReadAll(cache / "setup.res"), "support files");
  EXPECT_EQ(ReadAll(cache / "setup.msi"), "db");
  EXPECT_EQ(ReadAll(cache / "setup.lan"), "Deutsch\r\n");
  EXPECT_EQ(ReadAll(cache / "instance.dat"), std::string(kProduct) + "\r\n" + kRevision + "\r\nDemo\r\n");
  EXPECT_TRUE(fs::exists(cache / "setup.par"));
  EXPECT_TRUE(fs::is_directory(cache / "__ad"));
  const std::string key = std::string(engine::kCacheRegistryKey) + kProduct;
  EXPECT_EQ(M().registry().ReadString(machine::RegRoot::LocalMachine, key, ""), Var("ENGINECACHE"));

  // Again from the cache itself, not advertised: nothing is copied onto
  // itself, the marker goes.
  session_.exePath = Var("ENGINECACHE") + "setup.exe";
  session_.engineFolder = Var("ENGINECACHE");
  ASSERT_TRUE(cache_->UpdateSetupCache(c, false));
  EXPECT_EQ(ReadAll(cache / "setup.exe"), "engine");
  EXPECT_FALSE(fs::exists(cache / "__ad"));

  // The installed product: the next run is maintenance with the kept choices.
  Install();
  Run("Set Variable: X | 1");
  EXPECT_EQ(Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(Var("KEEP"), "kept");

  engine::RunContext after = interp_->Context();
  cache_->RemoveCacheRecords(after);
  EXPECT_EQ(M().registry().ReadString(machine::RegRoot::LocalMachine, key, ""), "");
}

TEST_F(BootstrapTest, PatchBuildUsesTheInstalledProductsCacheFolder) {
  const std::string installed = "C:\\ProgramData\\{33333333-2222-3333-4444-555555555555}\\";
  machine::ProductRecord p;
  p.productCode = kProduct;
  p.packageCode = "{33333333-2222-3333-4444-555555555555}";
  p.uninstallKey = "Demo";  // the product title's uninstall key
  p.uninstallValues = {{"UninstallString", "\"" + installed + "setup.exe\" /x"}};
  ASSERT_TRUE(machine::InstallerService(M()).RegisterProduct(p));
  scripttest::Meta m;
  m.mediaMode = 3;
  Run("Set Variable: SEEN | $ENGINECACHE$|$UNINSTALLLINK$", m);
  EXPECT_EQ(Var("SEEN"), installed + "|" + installed + "setup.exe");
  // A build that is not a patch names its cache by its own revision code.
  m.mediaMode = 1;
  Run("Set Variable: SEEN | $ENGINECACHE$", m);
  EXPECT_EQ(Var("SEEN"), std::string("C:\\ProgramData\\") + kRevision + "\\");
}

TEST_F(BootstrapTest, ResumeEntryGoesFromBothViewsOfBothRoots) {
  machine::Registry reg(M(), true);
  const char* run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (machine::RegRoot root : {machine::RegRoot::LocalMachine, machine::RegRoot::CurrentUser})
    for (unsigned view : {machine::kWow64_32Key, machine::kWow64_64Key})
      ASSERT_EQ(reg.SetValue(root, run, "6B29FC40", machine::RegValue::String("left over"), view), machine::kRegOk);
  Run("Set Variable: X | 1");
  for (machine::RegRoot root : {machine::RegRoot::LocalMachine, machine::RegRoot::CurrentUser})
    for (unsigned view : {machine::kWow64_32Key, machine::kWow64_64Key})
      EXPECT_EQ(reg.ReadString(root, run, "6B29FC40", view), "") << static_cast<unsigned>(root) << " " << view;
}

}  // namespace
