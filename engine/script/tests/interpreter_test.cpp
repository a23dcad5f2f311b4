// The interpreter end to end: scripts in the readable test form run through
// Interpreter on a fresh machine folder, message boxes answered by the
// machine's hook, pages by a scripted page host.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "engine/script/interpreter.h"
#include "engine/script/tests/script_builder.h"
#include "platform/machine/machine.h"
#include "platform/machine/message_box.h"
#include "platform/machine/registry.h"

namespace fs = std::filesystem;
using scripttest::Compile;
using scripttest::Meta;

namespace {

struct Box { std::string caption, text; unsigned flags; };

// Pages answer from a queue; every Show is recorded as "key" (modal) or
// "key~" (without waiting).
class ScriptedPages : public engine::PageHost {
 public:
  std::deque<engine::PageResult> answers;
  std::vector<std::string> shown;
  int hides = 0, frees = 0;
  engine::PageResult Show(std::string_view key, std::string_view, bool modal) override {
    shown.push_back(std::string(key) + (modal ? "" : "~"));
    if (!modal) return engine::PageResult{engine::kPageNotModal, "", 4242};
    if (answers.empty()) return engine::PageResult{engine::kPageNext, "", 0};
    engine::PageResult r = answers.front();
    answers.pop_front();
    return r;
  }
  void Hide() override { ++hides; }
  void FreePages() override { ++frees; }
};

engine::PageResult Page(int code, std::string text = {}) { return engine::PageResult{code, std::move(text), 0}; }

class InterpreterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/script-interp-XXXXXX";
    root_ = mkdtemp(tmpl);
    setenv("SETUPENGINE_MACHINE", (root_ + "/machine").c_str(), 1);
    machine::Machine::ResetCurrent();
    fs::create_directories(root_ + "/engine/data");
    fs::create_directories(root_ + "/support");
    std::ofstream(root_ + "/support/setup.msi") << "db";
    machine::SetMessageBoxHook([this](std::string_view c, std::string_view t, unsigned f) {
      boxes_.push_back(Box{std::string(c), std::string(t), f});
      if (answers_.empty()) return machine::IDOK;
      int a = answers_.front();
      answers_.pop_front();
      return a;
    });
  }
  void TearDown() override {
    machine::SetMessageBoxHook({});
    machine::Machine::ResetCurrent();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  std::string Win(const std::string& host) const {
    return machine::Machine::Current().ToWindows(host);
  }

  engine::Session MakeSession() {
    engine::Session s;
    s.engineFolder = Win(root_ + "/engine/");
    s.exePath = s.engineFolder + "setup.exe";
    s.baseName = "setup";
    s.tempFolder = machine::Machine::Current().TempPath();
    s.supportFolder = Win(root_ + "/support/");
    s.dataFolder = s.engineFolder + "data\\";
    s.installerDatabase = s.supportFolder + "setup.msi";
    s.trace = [this](std::string_view line) { trace_.emplace_back(line); };
    return s;
  }

  // Runs a script; the interpreter stays alive for the checks.
  int Run(const std::string& readable, const Meta& meta = Meta{},
          const std::function<void(engine::Interpreter&, engine::Session&)>& setup = {}) {
    script_ = engine::ParseScriptText(Compile(readable, meta));
    interp_.reset();
    session_ = MakeSession();
    session_.silent = silent_;
    interp_ = std::make_unique<engine::Interpreter>(script_, session_);
    if (usePages_) interp_->SetPageHost(&pages_);
    if (setup) setup(*interp_, session_);
    return interp_->Run();
  }
  std::string Var(const std::string& name) { return interp_->variables().Get(name); }

  std::string root_;
  std::vector<Box> boxes_;
  std::deque<int> answers_;
  std::vector<std::string> trace_;
  engine::Script script_;
  engine::Session session_;
  std::unique_ptr<engine::Interpreter> interp_;
  ScriptedPages pages_;
  bool usePages_ = false;
  bool silent_ = false;
};

// --- control flow ------------------------------------------------------------------

struct Flow { const char* what; const char* script; const char* path; };

// Each branch appends a letter to P; "T" and "F" are variables holding TRUE/FALSE.
const char* kFlowPrelude = "Set Variable: T | yes\nSet Variable: F | no\nSet Variable: P | \n";
#define IF_T "If: T | 0 | yes | FALSE\n"
#define IF_F "If: F | 0 | yes | FALSE\n"
#define ELSEIF_T "Else If: T | 0 | yes | FALSE\n"
#define ELSEIF_F "Else If: F | 0 | yes | FALSE\n"
#define ADD(x) "Set Variable: P | $P$" x "\n"

const Flow kFlows[] = {
    {"if false, else runs", IF_F ADD("a") "Else\n" ADD("b") "End\n" ADD("z"), "bz"},
    {"if true skips else if", IF_T ADD("a") ELSEIF_T ADD("b") "Else\n" ADD("c") "End\n" ADD("z"), "az"},
    {"if false, else if true", IF_F ADD("a") ELSEIF_T ADD("b") "Else\n" ADD("c") "End\n" ADD("z"), "bz"},
    {"first true else if only", IF_F ADD("a") ELSEIF_T ADD("b") ELSEIF_T ADD("c") "End\n" ADD("z"), "bz"},
    {"all false, else", IF_F ADD("a") ELSEIF_F ADD("b") "Else\n" ADD("c") "End\n" ADD("z"), "cz"},
    {"if true, else if true", IF_T ADD("a") ELSEIF_T ADD("b") "End\n" ADD("z"), "az"},
    {"nested false if in taken branch", IF_T ADD("a") IF_F ADD("n") "End\n" ADD("m") ELSEIF_T ADD("b") "Else\n" ADD("c")
     "End\n" ADD("z"), "amz"},
    {"nested blocks in skipped branch", IF_F IF_T ADD("x") "Else\n" ADD("y") "End\n" "Else\n" ADD("c") "End\n" ADD("z"),
     "cz"},
    {"false if without else", IF_F ADD("a") "End\n" IF_T ADD("b") "End\n" ADD("z"), "bz"},
    {"disabled if/end in skipped branch", IF_F "~If: T | 0 | yes | FALSE\n" ADD("a") "~End\n" "Else\n" ADD("c") "End\n" ADD("z"),
     "cz"},
    {"negation", "If: T | 0 | yes | TRUE\n" ADD("a") "Else\n" ADD("b") "End\n", "b"},
    {"code 5 negated on missing variable", IF_F "Set Variable: NEVER | 1\nEnd\n" "If: NEVER | 5 |  | TRUE\n" ADD("a") "End\n",
     "a"},
    {"code 5 on existing variable", "If: T | 5 |  | FALSE\n" ADD("a") "End\n", "a"},
    {"goto into the middle clears the skip", "GoTo Label: mid\n" ADD("a") "Label: mid\n" ADD("b"), "b"},
    {"goto backwards loop", "Set Variable: N | 0\nLabel: top\n" ADD("x")
     "Mathematics: $N$ | 1 | 0 | N\nIf: N | 2 | 2 | TRUE\nGoTo Label: top\nEnd\n", "xxx"},
    {"last command disabled", ADD("a") "~" ADD("b"), "a"},
    {"ignore is never fetched", "Ignore: x\n" ADD("a"), "a"},
};

TEST_F(InterpreterTest, ControlFlowTable) {
  for (const Flow& f : kFlows) {
    trace_.clear();
    int rc = Run(std::string(kFlowPrelude) + f.script);
    EXPECT_EQ(rc, 0) << f.what << " " << interp_->LastRuntimeError();
    EXPECT_EQ(Var("P"), f.path) << f.what;
    EXPECT_EQ(interp_->LastRuntimeError(), "") << f.what;
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(InterpreterTest, SkipThatFindsNoStopIsARuntimeError) {
  // Balanced in number, not in order: the If's skip runs off the end.
  int rc = Run("Set Variable: F | no\nEnd\nIf: F | 0 | yes | FALSE\nSet Variable: P | x");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Var("P"), "");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Runtime error in setup script:\r\rLine 3: List index out of bounds (4)");
  EXPECT_EQ(boxes_[0].flags, machine::MB_ICONERROR);
}

// --- core commands ---------------------------------------------------------------

TEST_F(InterpreterTest, SetVariableNamesSuffixAndExitCode) {
  int rc = Run(
      "Set Variable: $FIRST$ | one\n"
      "Set Variable: KEEP$ZEKO$ZEKO$TRUE | $FIRST$ kept\n"
      "Set Variable: LOOSE$ZEKO$ZEKO$FALSE | x\n"
      "Set Variable: CODE | 3010\n"
      "Set Variable: DOLLAR | $\n"
      "Terminate with Exit Code: $CODE$\n"
      "Set Variable: AFTER | never");
  EXPECT_EQ(rc, 3010);
  EXPECT_EQ(session_.exitCode, 3010);
  EXPECT_EQ(Var("FIRST"), "one");
  EXPECT_EQ(Var("KEEP"), "one kept");
  EXPECT_EQ(Var("LOOSE"), "x");
  EXPECT_EQ(Var("DOLLAR"), "$");
  EXPECT_FALSE(interp_->variables().Exists("AFTER"));
  EXPECT_EQ(interp_->PersistentVariables(), std::vector<std::string>{"KEEP"});
  EXPECT_EQ(Run("Terminate with Exit Code: abc"), 0);
}

TEST_F(InterpreterTest, MessageBoxFlagsResultsAndSilence) {
  answers_ = {machine::IDNO, machine::IDRETRY};
  Run("MessageBox: $TITLE$ Setup | Line one$NEWLINE$two | 1 | 4 | ANSWER\n"
      "MessageBox: c | t | 9 | 3 | SECOND\n"
      "Set Variable: SILENT | TRUE\n"
      "MessageBox: c | t | 0 | 1 | ANSWER");
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[0].caption, "Demo Setup");
  EXPECT_EQ(boxes_[0].text, "Line one\r\ntwo");
  EXPECT_EQ(boxes_[0].flags, machine::MB_ICONQUESTION | machine::MB_YESNO);
  EXPECT_EQ(boxes_[1].flags, machine::MB_RETRYCANCEL);  // unknown icon code: none
  EXPECT_EQ(Var("ANSWER"), "NO");                        // silent box left it unchanged
  EXPECT_EQ(Var("SECOND"), "RETRY");
}

struct ValueCase { const char* script; const char* var; const char* want; };

TEST_F(InterpreterTest, ValueCommandsTable) {
  const ValueCase cases[] = {
      {"Set Variable: KV | key=value\nParse String: $KV$ | = | K | V | 0", "V", "value"},
      {"Set Variable: KV | key=value\nParse String: $KV$ | = | K | V | 0", "K", "key"},
      {"Parse String: a.b.c | . | L | R | 1", "L", "a.b"},
      {"Parse String: abc | x | L | R | 1", "R", "abc"},
      {"Parse String: Wattle | 2 | L | R | 3", "L", "Watt"},
      {"Parse String: Wattle | 2 | L | R | 3", "R", "le"},
      {"Parse String: Wattle | 6 | L | R | 3", "L", ""},
      {"Parse String: Wattle | 0 | L | R | 2", "R", "Wattle"},
      {"Parse String: A = B | = | L | R | 0 | TRUE", "L", "A"},
      {"Parse String: KEY=v | key | L | R | 0 | FALSE | TRUE", "R", "=v"},
      {"Set Variable: S | a-b-a\nReplace String: S | a | x | FALSE | FALSE", "S", "x-b-a"},
      {"Set Variable: S | a-b-A\nReplace String: $S$ | a | x | TRUE | TRUE", "S", "x-b-x"},
      {"Set Variable: S | Mixed\nConvert Case: S | TRUE", "S", "MIXED"},
      {"Set Variable: S | Mixed\nConvert Case: S | FALSE", "S", "mixed"},
      {"Set Variable: P | C:\\\\dir\\\\file.tar.gz\nExtract Path: P | 0", "P", "file.tar.gz"},
      {"Set Variable: P | C:\\dir\\file.txt\nExtract Path: P | 1", "P", "file"},
      {"Set Variable: P | C:\\dir\\file.txt\nExtract Path: P | 2", "P", "txt"},
      {"Set Variable: P | C:\\dir\\sub\\file.txt\nExtract Path: P | 3", "P", "C:\\dir\\sub\\"},
      {"Set Variable: P | C:\\dir\\sub\\file.txt\nExtract Path: P | 4", "P", "C:\\dir\\"},
      {"Set Variable: P | C:\\dir\\file.txt\nExtract Path: P | 5", "P", "C:\\"},
      {"Mathematics: 7 | 0 | 3 | M", "M", ""},
      {"Mathematics: -1 | 60 | 9 | M", "M", "15"},
      {"Set Variable: A | 5\nEvaluate Expression: $A$ = \"5\" or $A$ = \"6\" | E", "E", "TRUE"},
      {"Set Variable: A | x\"y\nEvaluate Expression: $A$ = \"x\" | E", "E", "ERROR"},  // the value's quote ends its string
      {"Evaluate Expression: \"a\" = \"a\" AND \"b\" = \"b\" | E", "E", "ERROR"},
  };
  for (const auto& c : cases) {
    Run(c.script);
    EXPECT_EQ(Var(c.var), c.want) << c.script;
    EXPECT_EQ(interp_->LastRuntimeError(), "") << c.script;
  }
}

TEST_F(InterpreterTest, VersionCompareWithBadComponentIsARuntimeError) {
  Run("Set Variable: V | 1.x.3\nIf: V | 6 | 1.0 | FALSE\nEnd");
  EXPECT_EQ(interp_->LastRuntimeErrorLine(), 2);
  EXPECT_EQ(interp_->LastRuntimeError(), "'x' is not a valid integer value");
}

// --- commands of families not built yet -------------------------------------------------

TEST_F(InterpreterTest, UnbuiltCommandsStopWithTheirName) {
  for (const char* cmd : {"Get System Settings: R | 0", "Get Folder Location: R | 1 | FALSE", "Install Files: a | b | c",
                          "Display Dialog: Welcome | R | TRUE"}) {
    boxes_.clear();
    Run(std::string("Set Variable: A | 1\n") + cmd + "\nSet Variable: B | 2");
    std::string name = std::string(cmd).substr(0, std::string(cmd).find(':'));
    ASSERT_EQ(boxes_.size(), 1u) << cmd;
    EXPECT_EQ(boxes_[0].caption, "Demo - Corvane Wizard");
    EXPECT_EQ(boxes_[0].text.rfind("Runtime error in setup script:\r\rLine 2: ", 0), 0u) << boxes_[0].text;
    EXPECT_NE(boxes_[0].text.find("\"" + name + "\""), std::string::npos) << boxes_[0].text;
    EXPECT_EQ(Var("A"), "1");
    EXPECT_FALSE(interp_->variables().Exists("B")) << cmd;
  }
  // Silent: the same stop, nothing shown; the exit code keeps its value.
  silent_ = true;
  boxes_.clear();
  EXPECT_EQ(Run("Get System Settings: R | 0"), 0);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_NE(interp_->LastRuntimeError(), "");
}

TEST_F(InterpreterTest, CaptionBrandingOff) {
  Run("Set Variable: ZEKOLOGO | TRUE\nGet System Settings: R | 0");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Demo");
}

// --- wizard loop ---------------------------------------------------------------------

struct LoopCase {
  const char* what;
  std::vector<engine::PageResult> answers;
  std::vector<std::string> shown;
  const char* result;
};

TEST_F(InterpreterTest, WizardLoopNavigationTable) {
  usePages_ = true;
  const LoopCase cases[] = {
      {"next through", {Page(6), Page(6), Page(6)}, {"2", "3", "5"}, "NEXT"},
      {"back on first page", {Page(7)}, {"2"}, "BACK"},
      {"cancel leaves at once", {Page(6), Page(2)}, {"2", "3"}, "CANCEL"},
      {"back and forth", {Page(6), Page(7), Page(6), Page(6), Page(6)}, {"2", "3", "2", "3", "5"}, "NEXT"},
      {"custom result keeps direction", {Page(6), Page(8, "btnHelp"), Page(6)}, {"2", "3", "5"}, "NEXT"},
  };
  const char* script =
      "Set Variable: P | \n"
      "Wizard Loop\n"
      "Display Dialog: Welcome | WIZARD | TRUE\n"
      "Display Dialog: License | WIZARD | FALSE\n"
      "~Display Dialog: Disabled | WIZARD | TRUE\n"
      "Display Dialog: Folder | WIZARD | TRUE\n"
      "End\n"
      "Set Variable: P | after $WIZARD$\n";
  for (const LoopCase& c : cases) {
    pages_ = ScriptedPages{};
    pages_.answers.assign(c.answers.begin(), c.answers.end());
    Run(script);
    EXPECT_EQ(interp_->LastRuntimeError(), "") << c.what;
    EXPECT_EQ(pages_.shown, c.shown) << c.what;  // always modal inside the loop
    EXPECT_EQ(Var("WIZARD"), c.result) << c.what;
    EXPECT_EQ(Var("P"), std::string("after ") + c.result) << c.what;
  }
}

TEST_F(InterpreterTest, PagesOutsideTheLoopAndSkipVariable) {
  usePages_ = true;
  Run("Set Variable: SKIP | TRUE\n"
      "Display Dialog: Skipped | R1 | TRUE | $SKIP$ |  | TRUE\n"
      "Display Dialog: Progress | R2 | FALSE\n"
      "Set Variable: H | $WINDOWHANDLE$\n"
      "Hide Dialog\n");
  EXPECT_EQ(pages_.shown, std::vector<std::string>{"2~"});
  EXPECT_FALSE(interp_->variables().Exists("R1"));
  EXPECT_EQ(Var("R2"), "NOTMODAL");
  EXPECT_EQ(Var("H"), "4242");
  EXPECT_EQ(Var("WINDOWHANDLE"), "0");
  EXPECT_EQ(pages_.hides, 1);
  EXPECT_GE(pages_.frees, 1);
}

// --- plug-ins ---------------------------------------------------------------------------

TEST_F(InterpreterTest, PluginLibraryMissingFromSupportFolderIsSkipped) {
  Meta m;
  m.plugins = {"(Un)Install MSI Setup"};
  Run("(Un)Install MSI Setup: params | plugins\\msi.dll\nSet Variable: NEXT | ran", m);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text,
            "Unable to load plug-in library. Please rebuild your project and make sure all required plug-ins are "
            "installed.\r\rAction skipped");
  EXPECT_EQ(boxes_[0].flags, machine::MB_ICONERROR);
  EXPECT_EQ(Var("NEXT"), "ran");
}

TEST_F(InterpreterTest, PluginFromSetupSources) {
  Meta m;
  m.plugins = {"Custom Plugin"};
  const char* script = "Custom Plugin: p | lib\\custom.dll [payload=Payload\\]\nSet Variable: NEXT | ran";

  // Silent: the sources question counts as cancelled.
  silent_ = true;
  Run(script, m);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(interp_->LastRuntimeError(), "Original setup sources required to complete operation, sources not found");
  EXPECT_FALSE(interp_->variables().Exists("NEXT"));

  // Asked until a folder with the product-code marker is given.
  silent_ = false;
  fs::create_directories(root_ + "/sources/data/Payload/lib");
  std::ofstream(root_ + "/sources/data/" + m.productCode) << "";
  std::ofstream(root_ + "/sources/data/Payload/lib/custom.dll") << "";
  std::vector<std::string> prompts;
  std::deque<std::string> offers = {Win(root_ + "/engine/"), Win(root_ + "/sources/")};
  Run(script, m, [&](engine::Interpreter& in, engine::Session&) {
    in.SetSourcesPrompt([&](std::string_view text) -> std::optional<std::string> {
      prompts.emplace_back(text);
      if (offers.empty()) return std::nullopt;
      std::string f = offers.front();
      offers.pop_front();
      return f;
    });
  });
  EXPECT_EQ(prompts.size(), 2u);
  EXPECT_EQ(prompts[0], "Please locate your original setup sources to continue operation");
  // The library is found there; running plug-ins is not built yet: a named stop.
  EXPECT_EQ(interp_->LastRuntimeError(),
            "The plug-in command \"Custom Plugin\" cannot be run by this version of the setup engine");
}

// --- preparation, validation, end of script -------------------------------------------

TEST_F(InterpreterTest, InvalidScriptEndsWith314AndShowsNothing) {
  int rc = Run("MessageBox: a | b | 0 | 1 | \nEnd");
  EXPECT_EQ(rc, engine::kExitInvalidScript);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(interp_->variables().Size(), 0u);
  EXPECT_EQ(trace_, (std::vector<std::string>{"    <Variables>", "    </Variables>", "    <CompileScript>"}));
}

TEST_F(InterpreterTest, TraceAndPredefinedVariables) {
  session_ = MakeSession();
  Run("Set Variable: X | 1", Meta{}, [](engine::Interpreter&, engine::Session& s) {
    s.assignments = {{"injected", "value"}};
    s.commandLineTail = "/s injected=value";
  });
  EXPECT_EQ(trace_, (std::vector<std::string>{"    <Variables>", "    </Variables>", "    <CompileScript>",
                                              "    </CompileScript>", "    <BootStrap>", "    </BootStrap>",
                                              "    <zeko>", "    </zeko>", "    <ExitScript>", "    </ExitScript>"}));
  EXPECT_EQ(Var("TITLE"), "Demo");
  EXPECT_EQ(Var("STARTMENU"), "Demo");
  EXPECT_EQ(Var("COMPANY"), "Ferrix");
  EXPECT_EQ(Var("VERSION"), "1.0.0");
  EXPECT_EQ(Var("NEWLINE"), "\r\n");
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(Var("ALLUSERS"), "TRUE");  // fresh machine: an administrator on NT
  EXPECT_EQ(Var("TARGETDIR"), "C:\\Program Files\\Demo\\");
  EXPECT_EQ(Var("EXEDIR"), session_.engineFolder);
  EXPECT_EQ(Var("SUPPORTDIR"), session_.supportFolder);
  EXPECT_EQ(Var("MSIFILE"), session_.installerDatabase);
  EXPECT_EQ(Var("PRODUCTCODE"), Meta{}.productCode);
  EXPECT_EQ(Var("CMDLINE"), "/s injected=value");
  EXPECT_EQ(Var("INJECTED"), "value");
  EXPECT_EQ(Var("ZEKO_thMax"), "100");
  EXPECT_FALSE(Var("DATE").empty());
  EXPECT_FALSE(Var("TIME").empty());
}

TEST_F(InterpreterTest, CommandLineWinsInSilentMode) {
  for (bool silent : {false, true}) {
    silent_ = silent;
    Run("Set Variable: TARGETDIR | C:\\script\\", Meta{},
        [](engine::Interpreter&, engine::Session& s) { s.assignments = {{"TargetDir", "D:\\cmd\\"}}; });
    EXPECT_EQ(Var("TARGETDIR"), silent ? "D:\\cmd\\" : "C:\\script\\") << silent;
  }
}

TEST_F(InterpreterTest, NonAdministratorProfile) {
  machine::Profile p = machine::Machine::Current().profile();
  p.isAdmin = false;
  machine::Machine::Current().SetProfile(p);
  Run("Set Variable: X | 1");
  EXPECT_EQ(Var("ALLUSERS"), "FALSE");
  EXPECT_EQ(Var("TARGETDIR"), "C:\\Users\\" + p.userName + "\\Demo\\");
}

TEST_F(InterpreterTest, MissingInstallerDatabaseRunsNothing) {
  fs::remove(root_ + "/support/setup.msi");
  EXPECT_EQ(Run("MessageBox: a | b | 0 | 1 | \nTerminate with Exit Code: 5"), 0);
  EXPECT_TRUE(boxes_.empty());
  std::ofstream(root_ + "/support/setup.msp") << "patch";
  EXPECT_EQ(Run("Terminate with Exit Code: 5"), 5);
}

TEST_F(InterpreterTest, StepCallbackStops) {
  std::vector<int> seen;
  Run("Set Variable: A | 1\nSet Variable: B | 2\nSet Variable: C | 3", Meta{},
      [&](engine::Interpreter& in, engine::Session&) {
        in.SetStepCallback([&](int pc) {
          seen.push_back(pc);
          return pc < 2;
        });
      });
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  EXPECT_EQ(Var("A"), "1");
  EXPECT_FALSE(interp_->variables().Exists("B"));
  EXPECT_EQ(trace_.back(), "    <zeko>");  // no end-of-script lines
}

TEST_F(InterpreterTest, RebootCommandsOnlyRecordARequest) {
  Run("Reboot Computer\nSet Variable: AFTER | x");
  EXPECT_FALSE(interp_->variables().Exists("AFTER"));
  EXPECT_EQ(machine::Machine::Current().RebootRequests().size(), 1u);

  Run("Reboot and Resume", Meta{}, [](engine::Interpreter&, engine::Session& s) { s.commandLineTail = "/s"; });
  machine::Registry reg(machine::Machine::Current());
  std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(reg.ReadString(machine::RegRoot::LocalMachine, run, "6B29FC40", machine::kWow64_32Key),
            session_.exePath + " /s");
  EXPECT_EQ(machine::Machine::Current().RebootRequests().size(), 2u);
  // The next run removes the resume entry before its first command.
  Run("Set Variable: X | 1");
  EXPECT_EQ(reg.ReadString(machine::RegRoot::LocalMachine, run, "6B29FC40", machine::kWow64_32Key), "");
}

TEST_F(InterpreterTest, ResumeEntryNamesTheProgramAndTheCommandLineTail) {
  struct Case { const char* sfx; const char* tail; const char* admin; std::string data; };
  const Case cases[] = {
      {"", "", "1", ""},  // filled in below: the engine's own path
      {"Z:\\Media Kit\\pack.exe", "/s A=1", "1", "\"Z:\\Media Kit\\pack.exe\" /s A=1"},
      {"Z:\\Media\\pack.exe", "", "0", "Z:\\Media\\pack.exe"},
  };
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sfx);
    machine::Profile p = machine::Machine::Current().profile();
    p.isAdmin = std::string(c.admin) == "1";
    machine::Machine::Current().SetProfile(p);
    Run("Reboot and Resume", Meta{}, [&](engine::Interpreter&, engine::Session& s) {
      s.selfExtractorPath = c.sfx;
      s.commandLineTail = c.tail;
    });
    machine::Registry reg(machine::Machine::Current());
    const machine::RegRoot root = p.isAdmin ? machine::RegRoot::LocalMachine : machine::RegRoot::CurrentUser;
    EXPECT_EQ(reg.ReadString(root, run, "6B29FC40"), c.data.empty() ? session_.exePath : c.data);
  }
}

TEST_F(InterpreterTest, DeleteFilesRecursiveAndSupportFolderRemoval) {
  fs::create_directories(root_ + "/victim/a/b");
  std::ofstream(root_ + "/victim/a/b/f.txt") << "x";
  std::ofstream(root_ + "/victim/top.txt") << "x";
  fs::permissions(root_ + "/victim/top.txt", fs::perms::owner_read);
  Run("Delete Files Recursive: " + Win(root_ + "/victim/") + "*.*");
  EXPECT_EQ(interp_->LastRuntimeError(), "");
  EXPECT_TRUE(fs::exists(root_ + "/victim"));
  EXPECT_TRUE(fs::is_empty(root_ + "/victim"));

  fs::create_directories(root_ + "/support/sub");
  std::ofstream(root_ + "/support/sub/x.dfm") << "x";
  engine::RemoveSupportFolder(session_);
  EXPECT_FALSE(fs::exists(root_ + "/support"));
}

TEST_F(InterpreterTest, SixtyFourBitModeAndChangeMarkers) {
  Run("Set 64 Bit Mode: FALSE | FALSE | TRUE\nCreate Folder: C:\\x [header=E7518F01]\n");
  EXPECT_EQ(interp_->PlatformMode(), "x64");
  ASSERT_FALSE(interp_->PropertyLog().empty());
  EXPECT_EQ(interp_->PropertyLog()[0], (std::pair<std::string, std::string>{"AE7518F01", "FALSE"}));
}

}  // namespace

namespace {

TEST_F(InterpreterTest, TranslationOnlyWhenALanguageIsSet) {
  std::vector<std::string> asked;
  auto setup = [&](engine::Interpreter& in, engine::Session&) {
    in.SetTranslator([&](std::string_view key, int pos) -> std::optional<std::string> {
      asked.push_back(std::string(key) + "#" + std::to_string(pos));
      if (pos == 2) return std::string("Ahoj $TITLE$");
      return std::nullopt;
    });
  };
  Run("MessageBox: c | Hello | 0 | 1 | \nSet Variable: LANGUAGE | Czech\nMessageBox: c | Hello | 0 | 1 | ", Meta{}, setup);
  ASSERT_EQ(boxes_.size(), 2u);
  EXPECT_EQ(boxes_[0].text, "Hello");
  EXPECT_EQ(boxes_[1].text, "Ahoj Demo");
  EXPECT_EQ(asked, (std::vector<std::string>{scripttest::Id(2) + "#1", scripttest::Id(2) + "#2"}));
}

}  // namespace

namespace {

TEST_F(InterpreterTest, HostileScriptsEndCleanly) {
  std::string big(2 * 1024 * 1024, 'y');
  struct Hostile { const char* what; std::string script; };
  const Hostile cases[] = {
      {"self reference", "Set Variable: A | x$A$\nSet Variable: B | $A$$A$\nMessageBox: $B$ | $B$ | 0 | 1 | "},
      {"megabyte value", "Set Variable: BIG | " + big + "\nSet Variable: TWO | $BIG$$BIG$\nMessageBox: c | $TWO$ | 0 | 1 | "},
      {"records missing", "Set Variable\nIf\nEnd\nMessageBox\nTerminate with Exit Code"},
      {"unknown names", "Frobnicate: 1 | 2\nCompiler Variable End\nSet Variable: OK | yes"},
  };
  for (const Hostile& h : cases) {
    boxes_.clear();
    Run(h.script);
    // "If" without a record fails validation ("Variable required"): 314.
    if (std::string(h.what) == "records missing") {
      EXPECT_EQ(session_.exitCode, engine::kExitInvalidScript);
      continue;
    }
    EXPECT_EQ(interp_->LastRuntimeError(), "") << h.what;
  }
  EXPECT_EQ(Var("OK"), "yes");
}

}  // namespace
