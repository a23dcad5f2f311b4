// The real setupengine with setups made by the real setupbuilder, in fresh
// temporary and machine folders: exit codes, trace log, message boxes,
// support folder, and bad input.
#include "engine/startup/tests/setup_fixture.h"

using namespace setup_test;

namespace {

const char* kExitScript =
    "[setup]\nTitle = Probe\n[script]\n"
    "Terminate with Exit Code\n    > $CODE$\n";

// Shows what the engine knows, then ends with 5.
const char* kShowScript =
    "[setup]\nTitle = Probe\n[script]\n"
    "MessageBox\n    > Facts\n    > $SUPPORTDIR$|$CMDLINE$|$COLOUR$\n    > 0\n    > 1\n    >\n"
    "Terminate with Exit Code\n    > 5\n";

class EngineTest : public SetupFixture {};

TEST_F(EngineTest, SilentRunTracesEveryStepAndLeavesNothingBehind) {
  Build("[setup]\nTitle = Probe\n[script]\nSet Variable\n    > CODE\n    > 42\n"
        "Terminate with Exit Code\n    > $CODE$\n");
  const fs::path log = root_ / "Logs" / "Trace.LOG";  // capital letters stay (see command_line.h)
  fs::create_directories(log.parent_path());
  WriteAll(log, "an earlier run's trace");
  const RunResult r = RunSetup({"/S", "/l=" + log.string()});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 42) << r.stderrText;
  EXPECT_TRUE(Boxes().empty());

  const std::string bytes = ReadAll(log);
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(bytes.size() % 2, 0u);
  EXPECT_NE(bytes.substr(0, 2), "\xff\xfe");  // no byte-order mark
  const std::vector<std::string> lines = Lines(FromUtf16(bytes));
  const std::vector<std::string> before = {
      "<Corvane>", "  <SetupSplash>", "    <StubSize>", "    </StubSize>", "    <StubData>", "    </StubData>",
      "    <GlobalLists>", "    </GlobalLists>", "    <SupportDir>", "    </SupportDir>", "    <ExtractArchive>",
      "    </ExtractArchive>", "    <ExtractResource>", "    </ExtractResource>", "    <ResourcePath>",
      "    </ResourcePath>", "    <Dialogs>", "    </Dialogs>", "  </SetupSplash>", "  <RunScript>"};
  const std::vector<std::string> after = {"  </RunScript>", "  <Free>", "  </Free>", "  <CachedSupportDir>",
                                          "  </CachedSupportDir>", "</Corvane>"};
  ASSERT_GE(lines.size(), before.size() + after.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + before.size()), before);
  EXPECT_EQ(std::vector<std::string>(lines.end() - after.size(), lines.end()), after);
  // Between them only the interpreter's own tags.
  for (std::size_t i = before.size(); i < lines.size() - after.size(); ++i)
    EXPECT_EQ(lines[i].rfind("    <", 0), 0u) << lines[i];

  // The support folder, the script copy and the message copy are gone.
  EXPECT_TRUE(TempEntries().empty()) << TempEntries().front();
}

TEST_F(EngineTest, TraceIsAnsiOnA9xProfile) {
  WriteAll(machine_ / "profile.ini", "[Windows]\r\nFamily=9x\r\nVersionMajor=4\r\nVersionMinor=10\r\n");
  Build(kExitScript);
  const RunResult r = RunSetup({"/s", "-L=trace.log", "CODE=3"});
  EXPECT_EQ(r.status, 3) << r.stderrText;
  const std::vector<std::string> lines = Lines(ReadAll(root_ / "trace.log"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "<Corvane>");
  EXPECT_EQ(lines.back(), "</Corvane>");
}

TEST_F(EngineTest, ExitCodesBeyondEightBitsGoToStandardError) {
  Build(kExitScript);
  struct Case { const char* code; int status; const char* line; };
  const Case cases[] = {
      {"0", 0, ""}, {"255", 255, ""}, {"3010", 194, "setupengine: exit code 3010\n"},
      {"1641", 105, "setupengine: exit code 1641\n"}, {"-1", 255, "setupengine: exit code -1\n"}};
  for (const Case& c : cases) {
    const RunResult r = RunSetup({"/qn", std::string("code=") + c.code});
    EXPECT_EQ(r.status, c.status) << c.code;
    EXPECT_EQ(r.stderrText, c.line) << c.code;
  }
}

TEST_F(EngineTest, NonSilentRunShowsTheScriptsBoxWithTheEnginesFacts) {
  fs::create_directories(tmp_ / "qel1");
  fs::create_directories(tmp_ / "qel2");
  Build(kShowScript);
  const RunResult r = RunSetup({"/x", "COLOUR=Dark Red", "say \"hi\""});
  EXPECT_EQ(r.status, 5) << r.stderrText;
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string tmpWin = "Z:" + [&] {
    std::string s = tmp_.string();
    for (char& c : s)
      if (c == '/') c = '\\';
    return s;
  }();
  EXPECT_EQ(boxes[0], "Facts|" + tmpWin + "\\qel3\\|/x \"COLOUR=Dark Red\" \"say \\\"hi\\\"\"|Dark Red|64");
  // qel1 and qel2 were someone else's: untouched; qel3 is removed.
  EXPECT_EQ(TempEntries(), (std::vector<std::string>{"qel1", "qel2"}));
}

TEST_F(EngineTest, StartupFailuresEndWithTheirCodes) {
  struct Case {
    const char* what;
    std::function<void()> damage;
    int status;
    const char* box;  // shown when not silent
  };
  const Case cases[] = {
      {"resource archive missing", [&] { fs::remove(out_ / "setup.res"); }, 14, "Setup resource not found"},
      {"resource archive damaged", [&] { WriteAll(out_ / "setup.res", std::string(4096, '\x13')); }, 15,
       "Setup resource decompression failure"},
      {"resource archive truncated",
       [&] {
         const std::string res = ReadAll(out_ / "setup.res");
         WriteAll(out_ / "setup.res", res.substr(0, res.size() / 3));
       },
       15, "Setup resource decompression failure"},
      {"no database", [&] { fs::remove(out_ / "setup.msi"); }, 16, "Setup database not found"},
  };
  WriteAll(root_ / "res" / "Welcome.dfm", std::string(3000, 'w'));
  for (const Case& c : cases) {
    for (bool silent : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (silent ? " (silent)" : ""));
      fs::remove_all(out_);
      fs::remove(root_ / "boxes.log");
      Build(kExitScript, "--resources " + Quote((root_ / "res").string()));
      c.damage();
      const RunResult r = RunSetup(silent ? std::vector<std::string>{"/s"} : std::vector<std::string>{});
      EXPECT_EQ(r.signal, 0);
      EXPECT_EQ(r.status, c.status) << r.stderrText;
      if (silent)
        EXPECT_TRUE(Boxes().empty());
      else
        EXPECT_EQ(Boxes(), (std::vector<std::string>{std::string("Corvane Wizard|") + c.box + "|16"}));
    }
  }
}

TEST_F(EngineTest, SupportFilesAndDatabaseReachTheSupportFolder) {
  WriteAll(root_ / "res" / "Welcome.dfm", "object Welcome: TWelcome\r\nend\r\n");
  WriteAll(root_ / "res" / "plugins" / "tool.txt", "tool");
  // One End too many: the run ends with 314 after start-up, which leaves the
  // support folder as start-up filled it.
  Build("[script]\nEnd\n", "--resources " + Quote((root_ / "res").string()));
  const RunResult r = RunSetup({"/s"});
  EXPECT_EQ(r.status, 314 & 0xFF) << r.stderrText;
  const fs::path support = tmp_ / "qel1";
  EXPECT_EQ(ReadAll(support / "Welcome.dfm"), "object Welcome: TWelcome\r\nend\r\n");
  EXPECT_EQ(ReadAll(support / "plugins" / "tool.txt"), "tool");
  EXPECT_EQ(ReadAll(support / "setup.msi"), "not a real database yet");
  EXPECT_FALSE(fs::exists(support / "setup.msp"));
  EXPECT_EQ(TempEntries(), (std::vector<std::string>{"qel1"}));  // no qel.tmp, no lang.loc
}

TEST_F(EngineTest, AnEngineWithoutScriptIsForInternalUseOnly) {
  fs::create_directories(out_);
  fs::copy_file(bin_ + "/setupengine", out_ / "setup");
  fs::permissions(out_ / "setup", fs::perms::owner_all);
  fs::copy_file(bin_ + "/qel.lib", out_ / "qel.lib");
  RunResult r = RunSetup({});
  EXPECT_EQ(r.status, 13);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Corvane Wizard|For internal use only|16"}));
  fs::remove(root_ / "boxes.log");
  r = RunSetup({"-s"});
  EXPECT_EQ(r.status, 13);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(EngineTest, InvalidScriptEndsWith314AndShowsNothing) {
  Build("[script]\nMessageBox\n    > x\n    > y\n    > 0\n    > 1\n    >\nEnd\n");
  const RunResult r = RunSetup({});
  EXPECT_EQ(r.status, 314 & 0xFF);
  EXPECT_EQ(r.stderrText, "setupengine: exit code 314\n");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(EngineTest, BadBytesAfterTheImageNeverCrashOrHang) {
  Build(kShowScript);
  const std::string compiled = [&] {
    const std::string exe = ReadAll(out_ / "setup");
    return exe.substr(fs::file_size(bin_ + "/setupengine"));
  }();
  std::string noise(70000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 11);
  const std::pair<const char*, std::string> inputs[] = {
      {"binary bytes", noise},
      {"truncated script", compiled.substr(0, compiled.size() / 2)},
      {"one byte", "x"},
      {"a megabyte line", std::string(1 << 20, 'A') + "\r\n$\r\n"},
  };
  for (const auto& [what, bytes] : inputs) {
    SCOPED_TRACE(what);
    WriteAll(root_ / "appended.bin", bytes);
    fs::remove_all(out_);
    Build("", "--append " + Quote((root_ / "appended.bin").string()));
    for (bool silent : {true, false}) {
      const RunResult r = RunSetup(silent ? std::vector<std::string>{"/s"} : std::vector<std::string>{});
      EXPECT_EQ(r.signal, 0) << r.stderrText;
      EXPECT_GE(r.status, 0);
    }
  }
}

TEST_F(EngineTest, EngineDoesNotStartWithoutItsArchiveLibrary) {
  Build(kExitScript);
  fs::remove(out_ / "qel.lib");
  RunResult r = RunSetup({"/s"});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 127);
  EXPECT_NE(r.stderrText.find("qel.lib"), std::string::npos) << r.stderrText;

  // Damaged beyond the loader's header checks: refused the same way.  (A
  // library cut short after intact headers is mapped by the dynamic loader
  // before any engine code runs; the engine cannot guard against that.)
  for (const std::string& bytes : {std::string(), std::string(4096, 'x'), std::string("\x7f" "ELF\x02\x01\x01", 7)}) {
    WriteAll(out_ / "qel.lib", bytes);
    r = RunSetup({"/s"});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 127) << bytes.size();
  }
}

TEST_F(EngineTest, MessageDataAppendedToTheLibraryIsRead) {
  Build(kExitScript);
  // A message file whose slot 2 says something else; start-up shows it when
  // the support archive is missing.
  std::string messages;
  for (int slot = 1; slot <= 115; ++slot) messages += slot == 2 ? "Resource gone\r\n" : "m\r\n";
  WriteAll(out_ / "qel.lib", ReadAll(out_ / "qel.lib") + messages);
  fs::remove(out_ / "setup.res");
  const RunResult r = RunSetup({});
  EXPECT_EQ(r.status, 14) << r.stderrText;
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Corvane Wizard|Resource gone|16"}));
  const auto left = TempEntries();
  EXPECT_TRUE(std::find(left.begin(), left.end(), "lang.loc") == left.end());
}

}  // namespace
