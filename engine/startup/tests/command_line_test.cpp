// Command line: the rebuilt Windows text, its tail, switches and assignments.
#include <gtest/gtest.h>

#include "engine/startup/command_line.h"

using engine::BuildCommandLine;
using engine::CommandLineTail;
using engine::ParseCommandLine;

namespace {

TEST(CommandLine, QuotingAndTail) {
  struct Case { std::vector<std::string> argv; const char* line; const char* tail; };
  const Case cases[] = {
      {{"setup"}, "setup", ""},
      {{"/opt/My Setup/setup", "/s"}, "\"/opt/My Setup/setup\" /s", "/s"},
      {{"setup", "/s", "NAME=two words"}, "setup /s \"NAME=two words\"", "/s \"NAME=two words\""},
      {{"setup", ""}, "setup \"\"", "\"\""},
      {{"setup", "say \"hi\""}, "setup \"say \\\"hi\\\"\"", "\"say \\\"hi\\\"\""},
      {{"setup", "C:\\dir with blank\\"}, "setup \"C:\\dir with blank\\\\\"", "\"C:\\dir with blank\\\\\""},
      {{"setup", "C:\\no\\blank\\"}, "setup C:\\no\\blank\\", "C:\\no\\blank\\"},
      {{"setup", "a\\\"b"}, "setup \"a\\\\\\\"b\"", "\"a\\\\\\\"b\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildCommandLine(c.argv), c.line);
    EXPECT_EQ(ParseCommandLine(c.argv).tail, c.tail) << c.line;
  }
  // The original's rule on texts a Windows shell could hand over.
  EXPECT_EQ(CommandLineTail("\"C:\\a b\\setup.exe\" /s x"), "/s x");
  EXPECT_EQ(CommandLineTail("\"C:\\a b\\setup.exe\""), "");
  EXPECT_EQ(CommandLineTail("\"unterminated"), "");
  EXPECT_EQ(CommandLineTail("setup.exe  two"), " two");
}

TEST(CommandLine, Switches) {
  struct Case { std::vector<std::string> args; bool silent, update, updateSetup; };
  const Case cases[] = {
      {{"/s"}, true, false, false},
      {{"-S"}, true, false, false},
      {{"/QN"}, true, false, false},
      {{"-qn"}, true, false, false},
      {{"/silent"}, false, false, false},
      {{"s"}, false, false, false},
      {{"/s/"}, false, false, false},
      {{"-Update"}, false, true, false},
      {{"/UPDATESETUP"}, false, false, true},
      {{"update"}, false, false, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{"setup"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto cl = ParseCommandLine(argv);
    EXPECT_EQ(cl.silent, c.silent) << c.args[0];
    EXPECT_EQ(cl.update, c.update) << c.args[0];
    EXPECT_EQ(cl.updateSetup, c.updateSetup) << c.args[0];
    EXPECT_EQ(cl.NoWindows(), c.silent || c.update || c.updateSetup);
  }
}

TEST(CommandLine, ValuesAndAssignments) {
  const auto cl = ParseCommandLine({"setup", "x/g=Policy", "/G=second", "-L=/tmp/Logs/Trace.LOG", "/l=ignored",
                                    "/m=Z:\\Sfx\\Pack.exe", "-p=\\\\Server\\Share\\", "InstallDir=C:\\Program Files\\A",
                                    "/NAME=value", "-X=1", "empty=", "=novalue", "A=b=c"});
  EXPECT_EQ(cl.groupPolicyPath, "=Policy");  // the marker anywhere, the first three characters cut
  EXPECT_EQ(cl.traceLogPath, "/tmp/Logs/Trace.LOG");  // case kept (see command_line.h)
  EXPECT_EQ(cl.selfExtractorPath, "Z:\\Sfx\\Pack.exe");
  EXPECT_EQ(cl.setupSourcesFolder, "\\\\Server\\Share\\");
  const std::vector<std::pair<std::string, std::string>> want{
      {"X/G", "Policy"}, {"INSTALLDIR", "C:\\Program Files\\A"}, {"EMPTY", ""}, {"", "novalue"}, {"A", "b=c"}};
  EXPECT_EQ(cl.assignments, want);
  EXPECT_FALSE(cl.silent);
}

}  // namespace
