// Language files: the shipped files are complete, loading never fails
// loudly, and format texts from a file cannot misbehave.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

#include "monitor/ui/captions.h"
#include "monitor/ui/language.h"
#include "monitor/ui/paths.h"
#include "platform/base/ini_file.h"

namespace fs = std::filesystem;
using namespace kv90::app;

namespace {

std::string ShippedLangDir() {
  const char* src = std::getenv("TEST_SOURCE_DIR");
  if (!src || !*src) return KV90_SOURCE_DIR "/monitor/ui/Lang";
  return std::string(src) + "/monitor/ui/Lang";
}

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("kv90lang-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(path);
  }
  ~TempDir() { std::error_code ec; fs::remove_all(path, ec); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name, std::ios::binary) << text;
    return (path / name).string();
  }
  static inline int counter = 0;
};

}  // namespace

TEST(LanguageFiles, ShippedFilesHaveEverySectionAndKey) {
  for (const char* file : {"Czech.lng", "English.lng"}) {
    base::TMemIniFile ini(ShippedLangDir() + "/" + file, base::IniEncoding::Utf8);
    ASSERT_TRUE(ini.Loaded()) << file;
    for (int i = 0; i < kMsgCount; ++i) {
      const char* key = MsgKey(static_cast<Msg>(i));
      EXPECT_FALSE(ini.ReadString(kMessagesSection, key, "").empty()) << file << " " << key;
    }
    for (const auto& b : kCaptionBindings)
      EXPECT_FALSE(ini.ReadString(b.section, b.key, "").empty()) << file << " [" << b.section << "] " << b.key;
    // No key outside the catalogue: a misspelt key would silently stay unused.
    std::set<std::string> known;
    for (const auto& b : kCaptionBindings) known.insert(std::string(b.section) + "/" + b.key);
    for (int i = 0; i < kMsgCount; ++i) known.insert(std::string(kMessagesSection) + "/" + MsgKey(static_cast<Msg>(i)));
    for (const auto& s : ini.ReadSections())
      for (const auto& k : ini.ReadSection(s)) EXPECT_TRUE(known.count(s + "/" + k)) << file << " unknown " << s << "/" << k;
  }
}

TEST(LanguageFiles, FormatArgumentsMatchTheirKeys) {
  // Keys that take arguments and how many %-specifiers each must carry.
  const std::pair<Msg, int> withArgs[] = {
      {Msg::CreateNewDBWith, 1}, {Msg::DlogCommWasEndWith, 1}, {Msg::ExportFromOnlineDBFromToWasStart, 2},
      {Msg::ErrorOnRdCfgFileName, 2}, {Msg::ErrorOnRdInfoFromDBWith, 1}, {Msg::Axis, 1},
      {Msg::ErrorOnSaveDevConfigWith, 1}, {Msg::ErrorOnWriteLogWith, 1}};
  for (const char* file : {"Czech.lng", "English.lng"}) {
    TLanguage lang;
    ASSERT_TRUE(lang.LoadFile(ShippedLangDir() + "/" + file));
    for (auto [m, n] : withArgs) {
      std::vector<std::string> args;
      for (int i = 0; i < n; ++i) args.push_back("<A" + std::to_string(i) + ">");
      std::string out = lang.Format(m, args);
      for (int i = 0; i < n; ++i) EXPECT_NE(out.find(args[static_cast<std::size_t>(i)]), std::string::npos) << file << " " << MsgKey(m);
      EXPECT_EQ(out.find('%'), std::string::npos) << file << " " << MsgKey(m) << ": " << out;
    }
  }
}

TEST(LanguageFiles, FormatTextTable) {
  struct Case { const char* fmt; std::vector<std::string> args; const char* want; };
  const Case cases[] = {
      {"A %d channels", {"12"}, "A 12 channels"},
      {"from %s to %s", {"1", "2"}, "from 1 to 2"},
      {"%s %s %s %n", {"x"}, "x   %n"},          // missing arguments are empty, %n is no specifier
      {"100%% done", {}, "100% done"},
      {"width %5d and %-3s", {"7", "z"}, "width 7 and z"},
      {"index %0:s", {"q"}, "index q"},
      {"trailing %", {}, "trailing %"},
      {"%s%s%s%s%s%s%s%s%s%s", {}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatText(c.fmt, c.args), c.want) << c.fmt;
}

TEST(LanguageFiles, MissingOrBrokenFilesGiveEmptyTexts) {
  TempDir dir;
  TLanguage lang;
  EXPECT_FALSE(lang.LoadFile((dir.path / "none.lng").string()));
  EXPECT_EQ(lang.Text(Msg::CommWasOpen), "");
  EXPECT_EQ(lang.Caption("ts_Settings", "Caption"), "");

  // A file without a Messages section: captions change, messages are empty.
  auto noMsg = dir.Write("NoMsg.lng", "[ts_Settings]\r\nCaption=Réglages\r\n");
  ASSERT_TRUE(lang.LoadFile(noMsg));
  EXPECT_EQ(lang.Caption("TS_SETTINGS", "caption"), "Réglages");
  EXPECT_EQ(lang.Text(Msg::AppWasRun), "");

  // Binary junk and a truncated line read without a crash.
  auto junk = dir.Write("Junk.lng", std::string("\xff\xfe\x00[Messages\nmsg_CommWasOpen=%s%s%d%", 40));
  lang.LoadFile(junk);
  EXPECT_NO_THROW(lang.Format(Msg::CommWasOpen, {}));
}

TEST(LanguageFiles, ListingAndChoiceFromSettings) {
  TempDir dir;
  dir.Write("English.lng", "");
  dir.Write("Czech.lng", "");
  dir.Write("readme.txt", "");
  EXPECT_EQ(ListLanguages(dir.path.string()), (std::vector<std::string>{"Czech.lng", "English.lng"}));
  EXPECT_TRUE(ListLanguages((dir.path / "missing").string()).empty());

  struct Case { const char* settings; const char* want; };
  const Case cases[] = {
      {"", "Czech.lng"},
      {"[Application]\r\nLang=English.lng\r\n", "English.lng"},
      {"[Application]\r\nLang=\r\n", "Czech.lng"},
      {"[Application]\r\nLang=../../etc/passwd\r\n", "Czech.lng"},
      {"[Application]\r\nLang=/etc/passwd\r\n", "Czech.lng"},
  };
  for (const auto& c : cases) {
    auto ini = dir.Write("Settings.ini", c.settings);
    EXPECT_EQ(LanguageNameFromSettings(ini), c.want) << c.settings;
  }
}

TEST(Folders, RootFollowsTheProgramFolderUnlessItIsNotWritable) {
  TempDir dir;
  const std::string prog = (dir.path / "prog").string();
  fs::create_directories(dir.path / "prog/Lang");
  dir.Write("prog/Lang/Czech.lng", "");
  ::unsetenv("KV90SW_HOME");
  ::setenv("XDG_DATA_HOME", (dir.path / "xdg").string().c_str(), 1);

  auto own = ResolvePaths(prog);
  EXPECT_EQ(own.Root, prog);
  EXPECT_FALSE(own.PerUser);
  EXPECT_EQ(own.SettingsFile(), prog + "/Settings/Settings.ini");
  EXPECT_EQ(own.OnlineDb(), prog + "/Data/data.dat");
  EXPECT_EQ(own.LangDir, prog + "/Lang");

  // A folder nobody may write to, not even the superuser: the per-user folder.
  auto installed = ResolvePaths("/proc/self");
  EXPECT_TRUE(installed.PerUser);
  EXPECT_EQ(installed.Root, (dir.path / "xdg/Kv90Sw").string());
  EXPECT_EQ(installed.LangDir, "/proc/self/Lang");

  ::setenv("KV90SW_HOME", (dir.path / "demo").string().c_str(), 1);
  auto demo = ResolvePaths(prog);
  EXPECT_EQ(demo.Root, (dir.path / "demo").string());
  EXPECT_EQ(demo.LangDir, prog + "/Lang");  // the demo folder has no language files
  ::unsetenv("KV90SW_HOME");
  ::unsetenv("XDG_DATA_HOME");
}
