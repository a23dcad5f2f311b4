#include "platform/machine/winpath.h"

#include <gtest/gtest.h>

namespace machine {
namespace {

struct PathCase {
  const char* in;
  const char* path;   // ExtractFilePath
  const char* name;   // ExtractFileName
  const char* ext;    // ExtractFileExt
  const char* noSep;  // ExcludeTrailingBackslash
};

TEST(WinPath, SplitsTable) {
  const PathCase cases[] = {
      {"C:\\a\\b.txt", "C:\\a\\", "b.txt", ".txt", "C:\\a\\b.txt"},
      {"C:\\a\\b\\", "C:\\a\\b\\", "", "", "C:\\a\\b"},
      {"C:\\", "C:\\", "", "", "C:\\"},
      {"C:\\\\", "C:\\\\", "", "", "C:\\"},
      {"C:b.txt", "C:", "b.txt", ".txt", "C:b.txt"},
      {"C:", "C:", "", "", "C:"},
      {"b.tar.gz", "", "b.tar.gz", ".gz", "b.tar.gz"},
      {"C:\\dir.x\\file", "C:\\dir.x\\", "file", "", "C:\\dir.x\\file"},
      {"c:/mixed/seps.ini", "c:/mixed/", "seps.ini", ".ini", "c:/mixed/seps.ini"},
      {"\\\\srv\\share\\f.dat", "\\\\srv\\share\\", "f.dat", ".dat", "\\\\srv\\share\\f.dat"},
      {"\\\\srv\\share\\", "\\\\srv\\share\\", "", "", "\\\\srv\\share"},
      {"\\", "\\", "", "", "\\"},
      {"", "", "", "", ""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(ExtractFilePath(c.in), c.path);
    EXPECT_EQ(ExtractFileName(c.in), c.name);
    EXPECT_EQ(ExtractFileExt(c.in), c.ext);
    EXPECT_EQ(ExcludeTrailingBackslash(c.in), c.noSep);
  }
}

TEST(WinPath, TrailingBackslashAndExtension) {
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:/a/"), "C:/a/");
  EXPECT_EQ(IncludeTrailingBackslash(""), "");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\setup.exe", ".dat"), "C:\\a.b\\setup.dat");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\setup", ".dat"), "C:\\a.b\\setup.dat");
  EXPECT_EQ(ChangeFileExt("setup.tar.gz", ""), "setup.tar");
}

TEST(WinPath, KindsOfPath) {
  struct { const char* p; bool unc, abs; char drive; } cases[] = {
      {"\\\\server\\share", true, true, 0},  {"//server/share", true, true, 0},
      {"\\\\?\\C:\\x", false, false, 0},     {"\\\\.\\COM1", false, false, 0},
      {"\\\\\\x", false, false, 0},          {"C:\\x", false, true, 'C'},
      {"d:/x", false, true, 'D'},            {"C:x", false, false, 'C'},
      {"\\x", false, false, 0},              {"x\\y", false, false, 0},
      {"1:\\x", false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p);
    EXPECT_EQ(IsUncPath(c.p), c.unc);
    EXPECT_EQ(IsAbsolutePath(c.p), c.abs);
    EXPECT_EQ(DriveLetter(c.p), c.drive);
  }
}

}  // namespace
}  // namespace machine
