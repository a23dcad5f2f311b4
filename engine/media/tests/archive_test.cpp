// The archive library through the engine's wrappers, on real archives made
// by zip, 7z and python's zipfile in a fresh folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/media/archive.h"
#include "engine/media/qel/qel.h"
#include "platform/base/files.h"

namespace fs = std::filesystem;
using engine::media::ArchiveError;
using engine::media::ExtractArchive;
using engine::media::ExtractOptions;
using engine::media::ListArchive;

namespace {

std::string ReadAll(const fs::path& p) { return base::ReadFileBytes(p.string()).value_or(""); }

void WriteAll(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

int Sh(const std::string& cmd) { return std::system(cmd.c_str()); }

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qeltest.XXXXXX";
    dir_ = mkdtemp(tmpl);
    src_ = dir_ / "src";
    WriteAll(src_ / "readme.txt", "hello\r\n");
    WriteAll(src_ / "forms" / "Welcome.dfm", std::string(5000, 'x'));
    WriteAll(src_ / "forms" / "deep" / "rule.qelf", "rule");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs cmd inside src_ and returns the archive path.
  fs::path Make(const std::string& name, const std::string& cmd) {
    EXPECT_EQ(Sh("cd '" + src_.string() + "' && " + cmd + " >/dev/null 2>&1"), 0) << cmd;
    return src_ / name;
  }

  fs::path dir_, src_;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ArchiveError& e) {
    return e.what();
  }
  return "no error";
}

TEST_F(ArchiveTest, ListsAndExtractsZipAnd7z) {
  struct Case { const char* name; const char* cmd; };
  const Case cases[] = {
      {"a.zip", "zip -qr a.zip readme.txt forms"},
      {"a.7z", "7z a -bd a.7z readme.txt forms"},
      {"a.tar.gz", "bsdtar -czf a.tar.gz readme.txt forms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path archive = Make(c.name, c.cmd);
    const auto entries = ListArchive(archive.string());
    bool sawDfm = false, sawFolder = false;
    for (const auto& e : entries) {
      EXPECT_EQ(e.path.find('/'), std::string::npos) << e.path;
      if (e.path == "forms\\Welcome.dfm") {
        sawDfm = true;
        EXPECT_EQ(e.size, 5000);
        EXPECT_EQ(e.attributes & 0x10u, 0u);
        EXPECT_GT(e.fileTimeUtc, 116444736000000000ULL);  // after 1970
        EXPECT_GT(e.modified, 40000.0);                    // after 2009
      }
      if (e.path == "forms") sawFolder = e.IsFolder();
    }
    EXPECT_TRUE(sawDfm);
    EXPECT_TRUE(sawFolder);

    const fs::path out = dir_ / (std::string("out-") + c.name);
    ExtractArchive(archive.string(), out.string());
    EXPECT_EQ(ReadAll(out / "readme.txt"), "hello\r\n");
    EXPECT_EQ(ReadAll(out / "forms" / "deep" / "rule.qelf"), "rule");
    EXPECT_EQ(fs::file_size(out / "forms" / "Welcome.dfm"), 5000u);
  }
}

TEST_F(ArchiveTest, PasswordProtectedZip) {
  const char* makers[] = {
      "7z a -bd -tzip -mem=AES256 -psecret p.zip readme.txt forms",  // WinZip AES
      "zip -q -r -P secret p.zip readme.txt forms",                  // traditional
  };
  for (const char* cmd : makers) {
    SCOPED_TRACE(cmd);
    fs::remove(src_ / "p.zip");
    const fs::path archive = Make("p.zip", cmd);
    // Names of an encrypted zip are readable without the password.
    EXPECT_FALSE(ListArchive(archive.string()).empty());

    ExtractOptions good;
    good.password = "secret";
    const fs::path out = dir_ / "pw-good";
    fs::remove_all(out);
    ExtractArchive(archive.string(), out.string(), good);
    EXPECT_EQ(ReadAll(out / "readme.txt"), "hello\r\n");

    for (const char* wrong : {"", "wrong"}) {
      ExtractOptions bad;
      bad.password = wrong;
      const fs::path badOut = dir_ / "pw-bad";
      EXPECT_EQ(ErrorOf([&] { ExtractArchive(archive.string(), badOut.string(), bad); }), "#1003") << wrong;
      // No half-written file stays behind.
      EXPECT_FALSE(fs::exists(badOut / "readme.txt") && fs::file_size(badOut / "readme.txt") != 7u);
      fs::remove_all(badOut);
    }
  }
}

TEST_F(ArchiveTest, ListingFailuresHaveTheirTexts) {
  WriteAll(dir_ / "garbage.zip", std::string(3000, '\x7f'));
  std::string noise(20000, '\0');
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  WriteAll(src_ / "noise.bin", noise);
  const fs::path zip = Make("t.zip", "zip -qr t.zip noise.bin readme.txt");
  const std::string bytes = ReadAll(zip);
  WriteAll(dir_ / "truncated.zip", bytes.substr(0, bytes.size() / 2));

  EXPECT_EQ(ErrorOf([&] { ListArchive((dir_ / "missing.zip").string()); }), "The archive file was not found");
  EXPECT_EQ(ErrorOf([&] { ListArchive(dir_.string()); }), "The archive file was not found");
  EXPECT_EQ(ErrorOf([&] { ListArchive((dir_ / "garbage.zip").string()); }),
            "The archive cannot be opened: unsupported archive or incorrect password");
  // A truncated archive fails one way or another, never crashes or hangs.
  EXPECT_NE(ErrorOf([&] {
              ListArchive((dir_ / "truncated.zip").string());
              ExtractArchive((dir_ / "truncated.zip").string(), (dir_ / "t-out").string());
            }),
            "no error");
  EXPECT_EQ(engine::media::ListErrorText(1000), "General failure opening archive");
  EXPECT_EQ(engine::media::ListErrorText(1002), "Illegal path used in a wildcard expression");
}

TEST_F(ArchiveTest, EntryListsPatternsAndFlatExtraction) {
  const fs::path zip = Make("a.zip", "zip -qr a.zip readme.txt forms");
  ExtractOptions some;
  some.entries = {"FORMS\\*.qelf", "forms/deep/*"};
  ExtractArchive(zip.string(), (dir_ / "some").string(), some);
  EXPECT_TRUE(fs::exists(dir_ / "some" / "forms" / "deep" / "rule.qelf"));
  EXPECT_FALSE(fs::exists(dir_ / "some" / "readme.txt"));

  ExtractOptions flat;
  flat.withFolders = false;
  ExtractArchive(zip.string(), (dir_ / "flat").string(), flat);
  EXPECT_TRUE(fs::exists(dir_ / "flat" / "rule.qelf"));
  EXPECT_TRUE(fs::exists(dir_ / "flat" / "Welcome.dfm"));
  EXPECT_FALSE(fs::exists(dir_ / "flat" / "forms"));

  for (const char* illegal : {"..\\x", "\\abs", "C:\\x", "forms\\..\\..\\x"}) {
    ExtractOptions o;
    o.entries = {illegal};
    EXPECT_EQ(ErrorOf([&] { ExtractArchive(zip.string(), (dir_ / "ill").string(), o); }), "#1002") << illegal;
  }
}

TEST_F(ArchiveTest, EntriesThatLeaveTheTargetAreRefused) {
  const fs::path evil = dir_ / "evil.zip";
  ASSERT_EQ(Sh("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1],'w'); "
               "z.writestr('ok.txt','ok'); z.writestr('../escaped.txt','bad'); z.close()\" '" +
               evil.string() + "'"),
            0);
  const fs::path out = dir_ / "target";
  EXPECT_EQ(ErrorOf([&] { ExtractArchive(evil.string(), out.string()); }), "#1002");
  ExtractOptions all;  // everything, without the engine's listing in front
  const char* none = nullptr;
  EXPECT_EQ(::ExtractArchive(evil.c_str(), 1, out.c_str(), &none, 0, 1, "", nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastArchiveError(0), QEL_ERROR_UNSAFE_ENTRY);
  EXPECT_FALSE(fs::exists(dir_ / "escaped.txt"));
}

TEST_F(ArchiveTest, OverwriteAndCancel) {
  const fs::path zip = Make("a.zip", "zip -qr a.zip readme.txt forms");
  const fs::path out = dir_ / "ow";
  WriteAll(out / "readme.txt", "old");
  ExtractOptions o;
  o.overwriteAll = true;
  ExtractArchive(zip.string(), out.string(), o);
  EXPECT_EQ(ReadAll(out / "readme.txt"), "hello\r\n");

  ExtractOptions stop;
  int calls = 0;
  std::int64_t lastTotal = 0;
  stop.progress = [&](const std::string&, std::int64_t, std::int64_t total) {
    lastTotal = total;
    return ++calls < 2;
  };
  EXPECT_EQ(ErrorOf([&] { ExtractArchive(zip.string(), (dir_ / "stop").string(), stop); }), "#1004");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(lastTotal, 5000 + 7 + 4);
}

TEST(QelExports, HandlesAndArguments) {
  EXPECT_EQ(sizeof(QelEntry), 48u);
  EXPECT_EQ(CloseListArchive(12345), 0);  // unknown handle: refused, no crash
  QelEntry* entries = nullptr;
  int count = 7;
  EXPECT_EQ(OpenListArchive("/nonexistent.7z", 0, nullptr, nullptr, nullptr, nullptr, nullptr, &entries, &count), 0);
  EXPECT_EQ(GetLastArchiveError(0), 1001);
  EXPECT_EQ(count, 0);
}

}  // namespace
