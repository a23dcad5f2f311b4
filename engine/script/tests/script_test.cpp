// The compiled-script loader: layout, the "$" replacement, lookups, and
// damaged input (truncation at every byte, missing terminators, short
// lists and records, megabyte lines).
#include <gtest/gtest.h>

#include "engine/script/script.h"
#include "engine/script/tests/script_builder.h"

using engine::ParseScriptText;
using engine::Script;
using scripttest::Compile;
using scripttest::Id;

namespace {

const char* kAdminCheck = R"(
Get System Settings: CHECKSYSTEM | 0
If: CHECKSYSTEM | 0 | TRUE | TRUE
MessageBox: $TITLE$ Setup Error | This product requires at least Administrator Privileges.$NEWLINE$$NEWLINE$Setup cannot continue. | 3 | 1 | 
Terminate Install
End
)";

TEST(ScriptLoader, ReadsTheWorkedExample) {
  Script s = ParseScriptText(Compile(kAdminCheck));
  ASSERT_EQ(s.Count(), 5);
  EXPECT_EQ(s.Name(1), "If");
  EXPECT_EQ(s.Param(0, 1), "CHECKSYSTEM");
  EXPECT_EQ(s.Param(1, 4), "TRUE");
  EXPECT_EQ(s.Param(2, 1), "$TITLE$ Setup Error");
  EXPECT_EQ(s.Param(2, 5), "");
  EXPECT_EQ(s.Param(2, 0), Id(2));
  EXPECT_EQ(s.Param(3, 1), "");  // no record
  EXPECT_TRUE(s.Enabled(4));
  EXPECT_EQ(s.title, "Demo");
  EXPECT_EQ(s.company, "Ferrix");
  EXPECT_EQ(s.version, "1.0.0");
  EXPECT_EQ(s.mediaMode, 1);
  EXPECT_EQ(s.defaultLanguage, "English");
}

TEST(ScriptLoader, DollarMarkersOnlyInTheParameterStoreAndOnlyWhole) {
  std::string text = Compile("Set Variable: A | $\nSet Variable: B | x$DOLLAR$y\nComment: $wild_dollar$");
  Script s = ParseScriptText(text);
  EXPECT_EQ(s.Param(0, 2), "$");
  EXPECT_EQ(s.Param(1, 2), "x$DOLLAR$y");
  EXPECT_EQ(s.Param(2, 1), "$");

  // The title line is not in the store: no replacement there.
  scripttest::Meta m;
  m.title = "$DOLLAR$";
  EXPECT_EQ(ParseScriptText(Compile("End", m)).title, "$DOLLAR$");
}

TEST(ScriptLoader, IdentifierCaseAndMissingRecords) {
  std::string text = Compile("Comment\nSet Variable: A | 1");
  // Lower-case identifier in list 2 still finds the upper-case record.
  std::string upper = Id(1), lower = upper;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t at = text.find(upper);  // first occurrence: list 2
  text.replace(at, upper.size(), lower);
  Script s = ParseScriptText(text);
  EXPECT_EQ(s.Param(1, 1), "A");
  EXPECT_EQ(s.Param(0, 1), "");
}

TEST(ScriptLoader, ParametersNeverRunIntoTheNextRecord) {
  Script s = ParseScriptText(Compile("Set Variable: A\nSet Variable: B | 2"));
  EXPECT_EQ(s.Param(0, 1), "A");
  EXPECT_EQ(s.Param(0, 2), "");   // would be record 1's identifier line
  EXPECT_EQ(s.Param(0, 3), "");   // would be "B"
  EXPECT_EQ(s.Param(1, 2), "2");
  EXPECT_EQ(s.Param(1, 3), "");   // past the end of the store
  EXPECT_EQ(s.Param(1, 1000000), "");
  EXPECT_EQ(s.Param(-1, 1), "");
  EXPECT_EQ(s.Param(7, 1), "");
}

TEST(ScriptLoader, HeaderCodesComponentSizesAndLanguageFlag) {
  scripttest::Meta m;
  m.componentSizes = {"ZEKO-PREDEF-COMPONENT", "11713939", "Big", "5000000000"};
  m.languageDialog = "true";
  Script s = ParseScriptText(Compile("Comment\nCreate Folder: C:\\x [header=E7518F01]\nCreate Folder: C:\\y", m));
  EXPECT_EQ(s.HeaderCode(1), "E7518F01");
  EXPECT_EQ(s.HeaderCode(2), "");
  EXPECT_EQ(s.ComponentSize("zeko-predef-component"), 11713939u);
  EXPECT_EQ(s.ComponentSize("big"), 5000000000u);
  EXPECT_EQ(s.ComponentSize("missing"), 0u);
  EXPECT_FALSE(s.languageDialog);  // only "TRUE" exactly
  m.languageDialog = "TRUE";
  EXPECT_TRUE(ParseScriptText(Compile("End", m)).languageDialog);
}

TEST(ScriptLoader, WebPasswordsUnscrambleWithOfflineFallback) {
  // Scramble "pw1" the way the build tool does: hex pairs low digit first,
  // each character XOR-ed with its position.
  auto scramble = [](const std::string& pw) {
    const char* hex = "0123456789ABCDEF";
    std::string h;
    for (unsigned char c : pw) {
      h.push_back(hex[c & 15]);
      h.push_back(hex[c >> 4]);
    }
    for (std::size_t i = 0; i < h.size(); ++i) h[i] = static_cast<char>(h[i] ^ i);
    return h;
  };
  std::string stored = scramble("pw1");
  bool ascii = true;
  for (unsigned char c : stored) ascii = ascii && c >= 32 && c < 127;
  ASSERT_TRUE(ascii);  // fits on one line of the test script
  scripttest::Meta m;
  m.webPasswords = {"offline", stored};
  Script s = ParseScriptText(Compile("End", m));
  EXPECT_EQ(s.WebPassword("Wattline v4.0"), "pw1");
  EXPECT_EQ(engine::UnscramblePassword(stored), "pw1");
}

TEST(ScriptLoader, EveryTruncationGivesPrefixListsAndNeverCrashes) {
  std::string full = Compile(kAdminCheck);
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    Script s = ParseScriptText(std::string_view(full).substr(0, cut));
    ASSERT_LE(s.Count(), 5) << cut;
    for (int i = 0; i < s.Count() + 1; ++i)
      for (int n = 0; n < 8; ++n) (void)s.Param(i, n);
    (void)s.HeaderCode(0);
  }
}

TEST(ScriptLoader, MissingTerminatorSwallowsTheFollowingItems) {
  std::string text = Compile("Comment: a\nEnd");
  // Remove the terminator of list 1.
  std::size_t at = text.find("End\r\n$\r\n");
  text.erase(at + 5, 3);
  Script s = ParseScriptText(text);
  EXPECT_GT(s.Count(), 2);  // the identifiers became command names
  EXPECT_EQ(s.Name(2), Id(0));
  // Lists 4 and 15 now are shorter than the command list: missing entries
  // read as enabled and without payload folder.
  for (int i = 0; i < s.Count(); ++i) {
    EXPECT_TRUE(s.Enabled(i));
    (void)s.PayloadFolder(i);
  }
}

TEST(ScriptLoader, MegabyteLinesAndLoneCarriageReturns) {
  std::string big(3 * 1024 * 1024, 'x');
  big[12345] = '\r';
  Script s = ParseScriptText(Compile("Set Variable: A | " + big + "\nEnd"));
  ASSERT_EQ(s.Count(), 2);
  EXPECT_EQ(s.Param(0, 2).size(), big.size());
  EXPECT_EQ(s.Param(0, 2)[12345], '\r');
}

TEST(ScriptLoader, AnsiBytesBecomeUtf8) {
  std::string text = Compile("Set Variable: A | caf\xE9");  // Windows-1252 é
  Script s = engine::ParseScript(text);
  EXPECT_EQ(s.Param(0, 2), "caf\xC3\xA9");
}

TEST(ScriptLoader, MissingFileGivesEmptyScript) {
  Script s = engine::LoadScript("/nonexistent/qel.tmp");
  EXPECT_EQ(s.Count(), 0);
}

}  // namespace
