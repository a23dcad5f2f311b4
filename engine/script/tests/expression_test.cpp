// Conditions, versions, "Evaluate Expression" and "Mathematics" as tables.
#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/script/expression.h"

namespace {

struct Cond { const char* code; const char* l; const char* r; bool want; };

TEST(Conditions, ComparisonTable) {
  const Cond cases[] = {
      {"0", "10", "010", true},          // both integers
      {"0", "demo", "DEMO", false},
      {"4", "demo", "DEMO", true},
      {"1", "two words", "words", true},
      {"1", "15", "5", false},           // integers: equality
      {"3", "Two Words", "WORDS", true},
      {"2", "10", "9", true},            // numbers
      {"2", "10a", "9a", false},         // text, byte-wise
      {"2", "b", "a", true},
      {"0", "", "", true},
      {"0", "2147483648", "02147483648", false},  // beyond 32 bits: text
      {"7", "a", "a", false},
      {"", "a", "a", false},
      {"6", "1.2.10", "1.2.9", true},
      {"6", "2.0", "2.0.0.0", false},
      {"6", "2.0.1", "2.0", true},
      {"6", "3", "2.9.9.9", true},
      {"6", "1.0.x", "1.0", false},      // last component not a number: 0
  };
  for (const auto& c : cases)
    EXPECT_EQ(engine::CompareCondition(c.code, c.l, c.r), c.want) << c.code << " " << c.l << " " << c.r;
}

TEST(Conditions, VersionComponentBeforeADotMustBeANumber) {
  EXPECT_THROW(engine::VersionGreater("1.x.3", "1.0"), std::invalid_argument);
  EXPECT_THROW(engine::CompareCondition("6", "1.0", ".1"), std::invalid_argument);
}

struct Expr { const char* text; const char* want; };

TEST(EvaluateExpression, ResultTable) {
  const Expr cases[] = {
      {R"("a" = "a")", "TRUE"},
      {R"("a" = "b")", "FALSE"},
      {R"("a" = "a" or "a" = "b")", "TRUE"},
      {R"("a" = "b" or "a" = "a")", "TRUE"},
      {R"("a" = "a" and "a" = "b")", "FALSE"},
      {R"("a" = "a" and "a" = "a" or "x" = "y")", "TRUE"},   // left to right
      {R"("x" = "y" or "a" = "a" and "a" = "b")", "FALSE"},  // no precedence
      {R"(("a" = "a") and ("b" <> "c"))", "TRUE"},
      {R"("10" < "9")", "TRUE"},
      {R"("b" >= "a")", "TRUE"},
      {R"("a" <= "a")", "TRUE"},
      {R"("a" > "a")", "FALSE"},
      {R"("a""b" = "a""b")", "TRUE"},
      {R"(word = "a")", "ERROR"},                   // bare word: text left over
      {R"("a" = "a" or "b" = "b"))", "ERROR"},      // extra ")"
      {R"("a" = "a" AND "a" = "a")", "ERROR"},      // unknown word, whole text consumed
      {R"("a" == "a")", "ERROR"},                   // unknown operator in the last comparison
      {R"(("a" = "a")", "ERROR"},                   // missing ")"
      {R"("a" = "a" or)", "ERROR"},                 // missing term at the end
      {"", "ERROR"},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::EvaluateExpression(c.text), c.want) << c.text;
}

TEST(EvaluateExpression, QuotedStringValueAndContinuation) {
  // a""b is the three characters a, quote, b; the expression goes on after it.
  EXPECT_EQ(engine::EvaluateExpression(R"("a""b" > "a" and "q" = "q")"), "TRUE");
  EXPECT_EQ(engine::EvaluateExpressionOutcome(R"("a" = "a" xor "b" = "b")"), engine::ExprOutcome::Failed);
  EXPECT_EQ(engine::EvaluateExpressionOutcome(R"(bare)"), engine::ExprOutcome::Error);
}

TEST(EvaluateExpression, DeepNestingIsBoundedNotACrash) {
  std::string deep(200000, '(');
  EXPECT_EQ(engine::EvaluateExpression(deep + "\"a\" = \"a\"" + std::string(200000, ')')), "ERROR");
  std::string ok = std::string(100, '(') + "\"a\" = \"a\"" + std::string(100, ')');
  EXPECT_EQ(engine::EvaluateExpression(ok), "TRUE");
}

TEST(EvaluateExpression, SyntaxCheckReplacesDollarsByQuotes) {
  EXPECT_TRUE(engine::CheckExpressionSyntax(R"($NAME$ = "text")"));
  EXPECT_TRUE(engine::CheckExpressionSyntax(R"($A$ = "1" and ($B$ <> "2"))"));
  EXPECT_FALSE(engine::CheckExpressionSyntax(R"(NAME = "text")"));
  EXPECT_FALSE(engine::CheckExpressionSyntax(R"($A$ = "1"))"));
  EXPECT_TRUE(engine::CheckExpressionSyntax(R"($A$ == "1")"));  // consumed all: accepted, runs as "ERROR"
}

struct Math { const char* a; const char* b; const char* code; const char* want; };  // nullptr: empty result

TEST(Mathematics, OperationTable) {
  const Math cases[] = {
      {"2", "3", "0", "5"},   {"2", "3", "1", "-1"},  {"4", "-3", "2", "-12"}, {"7", "2", "3", "3"},
      {"-7", "2", "3", "-3"}, {"-7", "2", "4", "-1"}, {"12", "10", "5", "8"},  {"12", "10", "6", "14"},
      {"12", "10", "7", "6"}, {"1", "40", "8", "1099511627776"}, {"-1", "60", "9", "15"},
      {"0", "x", "10", "-1"}, {"A", "", "11", "65"},  {"", "", "11", nullptr}, {"66", "", "12", "B"},
      {"322", "", "12", "B"}, {"5", "0", "3", nullptr}, {"5", "0", "4", nullptr}, {"x", "1", "0", nullptr},
      {"1", "x", "0", nullptr}, {"1", "1", "99", nullptr}, {"1", "1", "", nullptr},
      {"9223372036854775807", "1", "0", "-9223372036854775808"},
      {"-9223372036854775808", "-1", "3", nullptr}, {"1", "64", "8", "0"},
  };
  for (const auto& c : cases) {
    engine::MathState st;
    auto r = engine::Mathematics(c.a, c.b, c.code, st);
    if (!c.want)
      EXPECT_FALSE(r.has_value()) << c.a << " " << c.code << " " << c.b;
    else
      EXPECT_EQ(r.value_or("<empty>"), c.want) << c.a << " " << c.code << " " << c.b;
  }
}

TEST(Mathematics, RandomGeneratorKeepsItsState) {
  engine::MathState st;
  EXPECT_EQ(engine::Mathematics("3", "7", "13", st).value(), "10");
  EXPECT_EQ(engine::Mathematics("5", "", "14", st).value(), "5");
  // x = 3*5+7 = 22; seed 22; result 22 mod 100
  EXPECT_EQ(engine::Mathematics("100", "", "15", st).value(), "22");
  EXPECT_EQ(st.seed, 22);
  // x = 3*22+7 = 73
  EXPECT_EQ(engine::Mathematics("10", "", "15", st).value(), "3");
  EXPECT_FALSE(engine::Mathematics("0", "", "15", st).has_value());
}

}  // namespace
