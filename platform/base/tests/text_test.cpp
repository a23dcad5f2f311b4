#include <gtest/gtest.h>

#include "platform/base/string_list.h"
#include "platform/base/text.h"

using namespace base;

TEST(Text, CaseFoldingCoversLatin1AndCp1252Letters) {
  EXPECT_TRUE(SameText("Příliš ŽLUŤOUČKÝ", "PŘÍLIŠ žluťoučký") == false);  // Ř/ř, Ť/ť are not in the ANSI set
  EXPECT_TRUE(SameText("ÄÖÜ straße Œ Š Ÿ", "äöü STRAßE œ š ÿ"));
  EXPECT_EQ(UpperCase("abc-äé"), "ABC-ÄÉ");
  EXPECT_EQ(LowerCase("ABC-ÄÉ"), "abc-äé");
  EXPECT_EQ(TextHash("Setup"), TextHash("SETUP"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
}

TEST(Text, Cp1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC \xC5\x99"), "\x80 ?");  // ř has no ANSI byte
  // Bytes that are not UTF-8 pass through as ANSI.
  EXPECT_EQ(Utf8ToCp1252("caf\xE9"), "caf\xE9");
}

TEST(Text, Utf16LE) {
  EXPECT_EQ(Utf8ToUtf16LE("A\xC3\xA9"), std::string("A\0\xE9\0", 4));
  std::string emoji = "\xF0\x9F\x98\x80";
  std::string u16 = Utf8ToUtf16LE(emoji);
  EXPECT_EQ(u16, std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(Utf16LEToUtf8(u16), emoji);
  EXPECT_EQ(Utf16LEToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");  // lone surrogate
}

TEST(Text, CommaTextTable) {
  struct Case { std::vector<std::string> items; std::string text; };
  const Case cases[] = {
      {{"a", "b", "c"}, "a,b,c"},
      {{"with blank", "x"}, "\"with blank\",x"},
      {{"a,b"}, "\"a,b\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"", "x"}, "\"\",x"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToCommaText(c.items), c.text) << c.text;
    EXPECT_EQ(FromCommaText(c.text), c.items) << c.text;
  }
  // Unquoted blanks separate items too; a trailing comma adds an empty item.
  EXPECT_EQ(FromCommaText("a b,c,"), (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST(Text, Numbers) {
  EXPECT_EQ(ParseInt(" 42 "), 42);
  EXPECT_EQ(ParseInt("-7"), -7);
  EXPECT_EQ(ParseInt("+7"), 7);
  EXPECT_FALSE(ParseInt("4x"));
  EXPECT_FALSE(ParseInt(""));
  EXPECT_FALSE(ParseInt("99999999999999999999"));
  EXPECT_EQ(ParseFloat("12,5", ','), 12.5);
  EXPECT_FALSE(ParseFloat("nan"));
  EXPECT_EQ(FloatToStr(12.5), "12.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1e-5), "1E-5");
  EXPECT_EQ(FloatToStr(-3.25, ','), "-3,25");
}

TEST(Text, HalfToEvenRounding) {
  struct Case { double v; int dec; const char* text; };
  const Case cases[] = {
      {0.125, 2, "0.12"}, {0.135, 2, "0.14"}, {2.5, 0, "2"}, {3.5, 0, "4"},
      {-2.5, 0, "-2"},    {12.34, 2, "12.34"}, {0.5, 2, "0.50"}, {2.675, 2, "2.68"},
      {-0.001, 2, "0.00"}, {1234.5, 0, "1234"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.v, c.dec), c.text) << c.v;
}

TEST(Text, BooleansAndGuids) {
  EXPECT_TRUE(IsTrueText("true"));
  EXPECT_TRUE(IsTrueText("-1"));
  EXPECT_FALSE(IsTrueText("1"));
  EXPECT_FALSE(IsTrueText("yes"));
  std::string g = NewGuid();
  EXPECT_TRUE(IsGuid(g)) << g;
  EXPECT_NE(g, NewGuid());
  EXPECT_TRUE(IsGuid("{2d9be333-f2ff-4d2e-847c-83676285f86d}"));
  EXPECT_FALSE(IsGuid("2D9BE333-F2FF-4D2E-847C-83676285F86D"));
}

TEST(Text, SplitLinesHandlesEveryLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(StringList, IndexIsCaseInsensitiveAndFindsFirst) {
  TStringList l;
  l.Add("{ABC}");
  l.Add("x");
  l.Add("{abc}");
  EXPECT_EQ(l.IndexOf("{aBc}"), 0);
  EXPECT_EQ(l.IndexOf("missing"), -1);
  l.Delete(0);
  EXPECT_EQ(l.IndexOf("{ABC}"), 1);  // index rebuilt after a change
  l.Add("late");
  EXPECT_EQ(l.IndexOf("LATE"), 2);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("LATE"), -1);
  EXPECT_EQ(l.Get(99), "");
}

TEST(StringList, NamesAndValues) {
  TStringList l;
  l.SetText("Name=Value\r\nkey=a=b\r\nplain\r\n");
  EXPECT_EQ(l.Value("NAME"), "Value");
  EXPECT_EQ(l.Value("key"), "a=b");
  EXPECT_EQ(l.IndexOfName("plain"), -1);
  l.SetValue("new", "1");
  EXPECT_EQ(l.Value("New"), "1");
  l.SetValue("name", "");
  EXPECT_EQ(l.IndexOfName("name"), -1);
  EXPECT_EQ(l.Text(), "key=a=b\r\nplain\r\nnew=1\r\n");
}
