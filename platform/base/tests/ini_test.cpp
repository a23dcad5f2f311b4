#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/files.h"
#include "platform/base/ini_file.h"

using namespace base;
namespace fs = std::filesystem;

namespace {
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/initestXXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, ec);
    fs::remove_all(path, ec);
  }
};
}  // namespace

TEST(Ini, ReadsSectionsKeysWithoutRegardToCase) {
  TMemIniFile ini("");
  ini.SetText("; comment\r\n[SerialComm]\r\nPort = //./COM7\r\nBaud=9600\r\n[Other]\r\nflag=True\r\nq=\"quoted\"\r\nhex=$1F\r\n");
  EXPECT_EQ(ini.ReadString("serialcomm", "PORT", ""), "//./COM7");
  EXPECT_EQ(ini.ReadInteger("SerialComm", "Baud", 0), 9600);
  EXPECT_EQ(ini.ReadInteger("SerialComm", "Missing", 5), 5);
  EXPECT_TRUE(ini.ReadBool("Other", "flag", false));
  EXPECT_EQ(ini.ReadString("Other", "q", ""), "quoted");
  EXPECT_EQ(ini.ReadInteger("Other", "hex", 0), 31);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"SerialComm", "Other"}));
  EXPECT_EQ(ini.ReadSection("other"), (std::vector<std::string>{"flag", "q", "hex"}));
}

TEST(Ini, JunkValuesFallBackToDefaults) {
  TMemIniFile ini("");
  ini.SetText("[S]\r\nn=12abc\r\nb=maybe\r\nf=1.2.3\r\n=novalue\r\n[broken\r\nk=v\r\n");
  EXPECT_EQ(ini.ReadInteger("S", "n", -1), -1);
  EXPECT_TRUE(ini.ReadBool("S", "b", true));
  EXPECT_EQ(ini.ReadFloat("S", "f", 2.5), 2.5);
  EXPECT_EQ(ini.ReadString("broken", "k", ""), "v");  // unterminated header still names a section
}

TEST(Ini, WriteThroughKeepsCommentsAndIsAtomic) {
  TempDir d;
  std::string p = d.path + "/Settings.ini";
  ASSERT_TRUE(WriteFileAtomic(p, "; keep me\r\n[A]\r\nx=1\r\n"));
  TIniFile ini(p);
  ini.WriteString("A", "y", "caf\xC3\xA9");  // UTF-8 inside, ANSI on disk
  ini.WriteInteger("B", "n", 7);
  auto bytes = ReadFileBytes(p);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, "; keep me\r\n[A]\r\nx=1\r\ny=caf\xE9\r\n[B]\r\nn=7\r\n");
  TIniFile again(p);
  EXPECT_EQ(again.ReadString("A", "y", ""), "caf\xC3\xA9");
  again.DeleteKey("A", "x");
  again.EraseSection("B");
  EXPECT_EQ(*ReadFileBytes(p), "; keep me\r\n[A]\r\ny=caf\xE9\r\n");
  // No temporary files left behind.
  int n = 0;
  for (auto& e : fs::directory_iterator(d.path)) { (void)e; ++n; }
  EXPECT_EQ(n, 1);
}

TEST(Ini, WriteToReadOnlyFolderReportsFailureAndKeepsOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir d;
  std::string p = d.path + "/s.ini";
  ASSERT_TRUE(WriteFileAtomic(p, "[A]\r\nx=1\r\n"));
  chmod(d.path.c_str(), 0555);
  TIniFile ini(p);
  ini.WriteString("A", "x", "2");
  EXPECT_FALSE(ini.LastWriteOk());
  EXPECT_EQ(*ReadFileBytes(p), "[A]\r\nx=1\r\n");
}

TEST(Ini, WriteIntoAPathThatCannotHoldFilesReportsFailure) {
  TempDir d;
  ASSERT_TRUE(WriteFileAtomic(d.path + "/plain", "x"));
  TIniFile ini(d.path + "/plain/s.ini");  // parent is a file, even root cannot write here
  ini.WriteString("A", "x", "2");
  EXPECT_FALSE(ini.LastWriteOk());
  EXPECT_EQ(*ReadFileBytes(d.path + "/plain"), "x");
}

TEST(Ini, Utf8FilesSkipTheByteOrderMark) {
  TempDir d;
  std::string p = d.path + "/Czech.lng";
  ASSERT_TRUE(WriteFileAtomic(p, "\xEF\xBB\xBF[Messages]\nmsg_A=P\xC5\x99\xC3\xADli\xC5\xA1\n"));
  TMemIniFile ini(p, IniEncoding::Utf8);
  EXPECT_TRUE(ini.Loaded());
  EXPECT_EQ(ini.ReadString("Messages", "msg_A", ""), "P\xC5\x99\xC3\xADli\xC5\xA1");
  TMemIniFile missing(d.path + "/none.lng", IniEncoding::Utf8);
  EXPECT_FALSE(missing.Loaded());
}
