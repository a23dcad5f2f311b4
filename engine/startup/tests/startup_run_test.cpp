// Start-up in-process on a setup built around a copy of this test program:
// the steps up to the interpreter, the pages preloaded, the hand-over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QWidget>

#include "engine/script/script.h"
#include "engine/script/session.h"
#include "engine/startup/startup.h"
#include "engine/startup/tests/setup_fixture.h"
#include "platform/machine/machine.h"

using namespace setup_test;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "startup_run_test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class StartupRunTest : public SetupFixture {
 protected:
  void SetUp() override {
    SetupFixture::SetUp();
    App();
    setenv("TMPDIR", tmp_.c_str(), 1);
    setenv("SETUPENGINE_MACHINE", machine_.c_str(), 1);
    setenv("SETUPENGINE_MSGBOX_LOG", (root_ / "boxes.log").c_str(), 1);
    machine::Machine::ResetCurrent();
  }
};

TEST_F(StartupRunTest, PreloadsEnabledDialogsAndHandsOverTheSession) {
  Build("[setup]\nTitle = Pages\n[script]\n"
        "Display Dialog\n    > Welcome\n    > R\n    > TRUE\n"
        "Comment\n    > between\n"
        "Display Dialog\n    > License\n    > R\n    > TRUE\n"
        "Display Dialog\n    disabled\n    > Skipped\n    > R\n    > TRUE\n"
        "Display Dialog\n    > Finish\n    > R\n    > TRUE\n",
        "--engine " + Quote(fs::read_symlink("/proc/self/exe").string()) + " --no-qel");
  engine::StartupHooks hooks;
  hooks.enginePath = (out_ / "setup").string();
  std::string initFolder;
  std::vector<std::string> preloaded;
  hooks.initDialogs = [&](const std::string& folder) { initFolder = folder; };
  hooks.preloadDialog = [&](const std::string& key, const std::string& dfm) {
    preloaded.push_back(key + " " + fs::path(dfm).filename().string());
  };
  engine::Session seen;
  int scriptCount = 0;
  hooks.runScript = [&](engine::Script& script, engine::Session& session) {
    seen = session;
    scriptCount = script.Count();
    EXPECT_TRUE(fs::is_directory(tmp_ / "qel1"));
    EXPECT_TRUE(fs::exists(tmp_ / "qel1" / "setup.msi"));
    return 9;
  };
  bool cacheWritten = false;
  hooks.writeEngineCache = [&](engine::Session&) { cacheWritten = true; };

  // Not silent: the windows are made, shown and closed again.
  const std::string log = "/l=" + (root_ / "trace.log").string();
  const int code = engine::RunEngine({hooks.enginePath, log, "Colour=Red"}, hooks);
  EXPECT_EQ(code, 9);
  EXPECT_EQ(preloaded, (std::vector<std::string>{"0 Welcome.dfm", "2 License.dfm", "4 Finish.dfm"}));
  EXPECT_EQ(scriptCount, 5);
  EXPECT_TRUE(cacheWritten);
  EXPECT_EQ(initFolder, seen.supportFolder);
  EXPECT_EQ(seen.baseName, "setup");
  EXPECT_EQ(seen.engineFolder.back(), '\\');
  EXPECT_EQ(fs::path(machine::Machine::Current().ToHost(seen.engineFolder)), out_);
  EXPECT_EQ(seen.installerDatabase, seen.supportFolder + "setup.msi");
  EXPECT_EQ(seen.dataFolder, seen.engineFolder + "data\\");
  EXPECT_EQ(seen.resourceArchive, seen.engineFolder + "setup.res");
  EXPECT_EQ(seen.commandLineTail, log + " Colour=Red");
  EXPECT_EQ(FromUtf16(ReadAll(root_ / "trace.log")).substr(0, 11), "<Corvane>\r\n");
  EXPECT_EQ(seen.assignments, (std::vector<std::pair<std::string, std::string>>{{"COLOUR", "Red"}}));
  EXPECT_FALSE(seen.silent);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(fs::exists(tmp_ / "qel1"));  // removed after the run
}

TEST_F(StartupRunTest, AnExceptionEndsWith11AndStillRemovesTheSupportFolder) {
  Build("[script]\nComment\n    > x\n", "--engine " + Quote(fs::read_symlink("/proc/self/exe").string()) + " --no-qel");
  engine::StartupHooks hooks;
  hooks.enginePath = (out_ / "setup").string();
  hooks.runScript = [](engine::Script&, engine::Session&) -> int { throw std::runtime_error("disk on fire"); };
  EXPECT_EQ(engine::RunEngine({hooks.enginePath}, hooks), 11);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Corvane Wizard|Runtime error in install: disk on fire|16"}));
  EXPECT_TRUE(TempEntries().empty());
}

// The preparation window while pages are preloaded: made unless silent,
// update or updatesetup; its bar runs from 1 to the number of enabled pages.
TEST_F(StartupRunTest, PreparationWindowOnlyWhenWanted) {
  Build("[script]\n"
        "Display Dialog\n    > A\n    > R\n    > TRUE\n"
        "Display Dialog\n    > B\n    > R\n    > TRUE\n"
        "Display Dialog\n    disabled\n    > C\n    > R\n    > TRUE\n"
        "Display Dialog\n    > D\n    > R\n    > TRUE\n",
        "--engine " + Quote(fs::read_symlink("/proc/self/exe").string()) + " --no-qel");
  struct Case { std::vector<std::string> args; bool window; };
  const Case cases[] = {{{}, true}, {{"/s"}, false}, {{"-update"}, false}, {{"/UPDATESETUP"}, false}, {{"/qn"}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args[0]);
    engine::StartupHooks hooks;
    hooks.enginePath = (out_ / "setup").string();
    std::vector<int> positions;
    int maximum = -1;
    hooks.preloadDialog = [&](const std::string&, const std::string&) {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != "SetupInit" || !w->isVisible()) continue;
        auto* bar = w->findChild<QProgressBar*>("ProgressBar");
        positions.push_back(bar->value());
        maximum = bar->maximum();
      }
    };
    bool windowsLeft = true;
    hooks.runScript = [&](engine::Script&, engine::Session&) {
      windowsLeft = false;
      for (QWidget* w : QApplication::topLevelWidgets()) windowsLeft = windowsLeft || w->isVisible();
      return 0;
    };
    std::vector<std::string> argv{hooks.enginePath};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(engine::RunEngine(argv, hooks), 0);
    EXPECT_FALSE(windowsLeft);
    if (c.window) {
      EXPECT_EQ(positions, (std::vector<int>{1, 2, 3}));
      EXPECT_EQ(maximum, 3);
    } else {
      EXPECT_TRUE(positions.empty());
    }
  }
}

TEST(ExitStatus, LowEightBits) {
  EXPECT_EQ(engine::ExitStatus(0), 0);
  EXPECT_EQ(engine::ExitStatus(16), 16);
  EXPECT_EQ(engine::ExitStatus(314), 58);
  EXPECT_EQ(engine::ExitStatus(3010), 194);
  EXPECT_EQ(engine::ExitStatus(1641), 105);
}

}  // namespace
