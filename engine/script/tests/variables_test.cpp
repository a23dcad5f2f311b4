// The variable store: case rules, the guarded assignment, expansion (with
// its self-reference bound), path expansion and the text forms.
#include <gtest/gtest.h>

#include <thread>

#include "engine/script/variables.h"
#include "platform/base/text.h"

using engine::Variables;

namespace {

TEST(Variables, NamesIgnoreCaseAndKeepFirstSpelling) {
  Variables v;
  v.Define("Title", "a", "Initialization");
  v.Define("TITLE", "b", "Set Variable Action");
  v.Define("", "x", "Initialization");
  EXPECT_EQ(v.Get("title"), "b");
  EXPECT_FALSE(v.Exists(""));
  EXPECT_FALSE(v.Exists("missing"));
  EXPECT_EQ(v.Get("missing"), "");
  auto snap = v.Snapshot();
  ASSERT_EQ(snap.size(), 2u);
  EXPECT_EQ(snap[0], "Title");
}

struct ExpandCase { const char* text; const char* want; };

TEST(Variables, ExpansionTable) {
  Variables v;
  v.Put("TITLE", "Demo");
  v.Put("NESTED", "$TITLE$");
  v.Put("HALF", "$TI");
  v.Put("EMPTY", "");
  v.Put("NEWLINE", "\r\n");
  const ExpandCase cases[] = {
      {"$TITLE$ Setup", "Demo Setup"},
      {"$title$ Setup", "Demo Setup"},
      {"costs 5$ for $TITLE$", "costs 5$ for Demo"},  // lone "$" skipped, reference still found
      {"$NESTED$!", "Demo!"},
      {"$UNKNOWN$ stays", "$UNKNOWN$ stays"},
      {"$$TITLE$", "$Demo"},
      {"a$EMPTY$b", "ab"},
      {"$HALF$TLE$", "Demo"},  // an inserted value combines with the text after it
      {"no dollars", "no dollars"},
      {"trailing $", "trailing $"},
      {"$", "$"},
      {"A$NEWLINE$B", "A\r\nB"},
  };
  for (const auto& c : cases) EXPECT_EQ(v.Expand(c.text), c.want) << c.text;
}

TEST(Variables, SelfReferenceStopsAtTheBound) {
  Variables v;
  v.Put("LOOP", "x$LOOP$");
  std::string r = v.Expand("$LOOP$");
  EXPECT_EQ(r, std::string(engine::kMaxExpansionDepth, 'x') + "$LOOP$");

  v.Put("A", "$B$");
  v.Put("B", "$A$");
  EXPECT_EQ(v.Expand("[$A$]"), "[$A$]");  // 32 levels of A/B, then the reference stays

  // Doubling at every level: the substitution budget ends it quickly.
  v.Put("TWICE", "$TWICE$$TWICE$");
  std::string big = v.Expand("$TWICE$");
  EXPECT_LE(big.size(), static_cast<std::size_t>(engine::kMaxSubstitutions) * 16);
  EXPECT_NE(big.find("$TWICE$"), std::string::npos);
}

TEST(Variables, QuotedExpansionWrapsEachValue) {
  Variables v;
  v.Put("A", "x\"y");
  v.Put("B", "$A$");
  EXPECT_EQ(v.ExpandQuoted("$A$ = \"q\""), "\"x\"y\" = \"q\"");
  EXPECT_EQ(v.ExpandQuoted("$B$"), "\"\"x\"y\"\"");
}

TEST(Variables, PathExpansionKeepsTheUncPair) {
  Variables v;
  v.Put("SHARE", "\\\\server\\share");
  EXPECT_EQ(v.ExpandPath("$SHARE$\\\\dir\\file"), "\\\\server\\share\\dir\\file");
  EXPECT_EQ(v.ExpandPath("C:\\\\a\\\\b\\"), "C:\\a\\b\\");
}

TEST(Variables, ValueOfReferenceTellsMissingFromEmpty) {
  Variables v;
  v.Put("E", "");
  v.Put("T", "$E$ok");
  EXPECT_EQ(v.ValueOfReference("$E$"), "");
  EXPECT_EQ(v.ValueOfReference("T"), "ok");
  EXPECT_EQ(v.ValueOfReference("$NOPE$"), "$ZEKONX$");
  EXPECT_EQ(v.ValueOfReference("NOPE", true), "");
}

TEST(Variables, SilentModeKeepsCommandLineValues) {
  for (bool silent : {false, true}) {
    Variables v;
    v.SetSilent(silent);
    v.SetCommandLineNames({"targetdir"});
    v.Define("TARGETDIR", "D:\\cmd\\", engine::kSourceCommandLine);
    v.Set("TargetDir", "C:\\script\\", "Set Variable Action");
    v.Set("OTHER", "1", "Set Variable Action");
    EXPECT_EQ(v.Get("TARGETDIR"), silent ? "D:\\cmd\\" : "C:\\script\\") << silent;
    EXPECT_EQ(v.Get("OTHER"), "1");
    v.Set("TARGETDIR", "E:\\", engine::kSourceCommandLine);
    EXPECT_EQ(v.Get("TARGETDIR"), "E:\\");
  }
}

TEST(Variables, BooleanText) {
  for (const char* t : {"TRUE", "true", "True", "-1"}) EXPECT_TRUE(base::IsTrueText(t)) << t;
  for (const char* f : {"1", "yes", "", "FALSE", "TRUE "}) EXPECT_FALSE(base::IsTrueText(f)) << f;
}

TEST(Variables, CommaTextRoundTripAndNewlineEncoding) {
  Variables v;
  v.Put("A", "with blank, comma and \"quote\"");
  v.Put("B", "");
  Variables w;
  w.PutCommaText(v.SnapshotCommaText());
  EXPECT_EQ(w.Get("A"), v.Get("A"));
  EXPECT_TRUE(w.Exists("B"));
  EXPECT_EQ(engine::EncodeNewlines("a\r\nb"), "a$NEWLINE$b");
  EXPECT_EQ(engine::DecodeNewlines("a$NEWLINE$b"), "a\r\nb");
}

TEST(Variables, CompilerVariables) {
  std::vector<std::string> table = {"BUILDMODE", "SFX", "REF", "#BUILDMODE#$X$"};
  EXPECT_EQ(engine::ExpandCompilerVariables("mode #buildmode#", table), "mode SFX");
  EXPECT_EQ(engine::ExpandCompilerVariables("#REF#", table), "SFX$X$");  // second pass: result has "$"
  EXPECT_EQ(engine::ExpandCompilerVariables("#NONE#", table), "#NONE#");
}

TEST(Variables, ConcurrentSetAndExpand) {
  Variables v;
  v.Put("P", "0");
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) v.Put("P", std::to_string(i));
  });
  for (int i = 0; i < 20000; ++i) {
    std::string r = v.Expand("[$P$]");
    ASSERT_TRUE(r.size() >= 3 && r.front() == '[' && r.back() == ']');
  }
  worker.join();
}

}  // namespace
