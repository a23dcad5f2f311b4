// Setup builder: the compiled layout of a small source, and source errors.
#include <gtest/gtest.h>

#include "tools/setupbuilder/builder.h"

using namespace setupbuilder;

namespace {

TEST(Builder, CompilesEveryListInOrder) {
  const std::string source =
      "# a comment\n"
      "[setup]\n"
      "ProductCode = {11111111-2222-3333-4444-555555555555}\n"
      "Title = Demo\n"
      "Company = Ferrix\n"
      "Version = 5.3.0\n"
      "MediaMode = 2\n"
      "RevisionCode = {AAAAAAAA-2222-3333-4444-555555555555}\n"
      "[plugins]\n"
      "(Un)Install MSI Setup\n"
      "[components]\n"
      "ZEKO-PREDEF-COMPONENT = 11713939\n"
      "[mediafiles]\n"
      "Block | E7518F01\\a.txt | Block\\E7518F01\\\n"
      "[passwords]\n"
      "offline = ab\n"
      "[compiler]\n"
      "BUILDMODE = SFX\n"
      "[script]\n"
      "Set Variable\n"
      "    id: {C0000000-0000-0000-0000-000000000001}\n"
      "    > NAME\n"
      "    > $\n"
      "Comment\n"
      "    id: {C0000000-0000-0000-0000-000000000002}\n"
      "    disabled\n"
      "    >\n"
      "    >   two blanks kept\n"
      "Install Files\n"
      "    id: {C0000000-0000-0000-0000-000000000003}\n"
      "    folder: Block\\\n"
      "    header: E7518F01\n"
      "End\n"
      "    id: {C0000000-0000-0000-0000-000000000004}\n";
  const std::string want =
      "Set Variable\r\nComment\r\nInstall Files\r\nEnd\r\n$\r\n"
      "{C0000000-0000-0000-0000-000000000001}\r\n{C0000000-0000-0000-0000-000000000002}\r\n"
      "{C0000000-0000-0000-0000-000000000003}\r\n{C0000000-0000-0000-0000-000000000004}\r\n$\r\n"
      // records grouped by name: Comment before Set Variable; no records without parameters
      "{C0000000-0000-0000-0000-000000000002}\r\n\r\n  two blanks kept\r\n"
      "{C0000000-0000-0000-0000-000000000001}\r\nNAME\r\n$DOLLAR$\r\n$\r\n"
      "\r\nC\r\n\r\n\r\n$\r\n"
      "{11111111-2222-3333-4444-555555555555}\r\nDemo\r\n"
      "(Un)Install MSI Setup\r\n$\r\n"
      "Ferrix\r\n\r\n\r\n\r\n\r\n5.3.0\r\n"
      "offline\r\n1705\r\n$\r\n"
      "\r\n\r\nBlock\\\r\n\r\n$\r\n"
      "2\r\n"
      "ZEKO-PREDEF-COMPONENT\r\n11713939\r\n$\r\n"
      "{AAAAAAAA-2222-3333-4444-555555555555}\r\n"
      "Block\r\nE7518F01\\a.txt\r\nBlock\\E7518F01\\\r\n$\r\n"
      "FALSE\r\nEnglish\r\n"
      "E7518F01\r\n2\r\n$\r\n"
      "BUILDMODE\r\nSFX\r\n$\r\n";
  EXPECT_EQ(CompileText(ParseSource(source)), want);
}

TEST(Builder, GeneratedIdentifiersAreStableAndDistinct) {
  const Source s = ParseSource("[setup]\nTitle = X\n[script]\nIf\n  > A\nEnd\n");
  const std::string a = CompileText(s), b = CompileText(s);
  EXPECT_EQ(a, b);
  const auto lines = std::string(a.substr(a.find("$\r\n") + 3));
  EXPECT_NE(lines.substr(0, 38), lines.substr(40, 38));
}

TEST(Builder, SourceErrorsNameTheLine) {
  struct Case { const char* source; const char* message; };
  const Case cases[] = {
      {"[nonsense]\n", "line 1: unknown section [nonsense]"},
      {"[script]\n  > orphan\n", "line 2: attribute before the first command"},
      {"[setup]\nColour = red\n", "line 2: unknown setup key Colour"},
      {"[mediafiles]\na | b\n", "line 2: expected block | entry | destination"},
      {"loose text\n", "line 1: text outside a section"},
  };
  for (const Case& c : cases) {
    try {
      ParseSource(c.source);
      ADD_FAILURE() << c.source;
    } catch (const BuildError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_THROW(CompileText(ParseSource("[setup]\nTitle = $\n")), BuildError);
}

TEST(Builder, AnsiBytes) {
  const Source s = ParseSource("[setup]\nTitle = Grüße\n");
  EXPECT_NE(CompileBytes(s).find("Gr\xfc\xdf" "e\r\n"), std::string::npos);
}

}  // namespace
