#include "platform/machine/machine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/base/datetime.h"
#include "platform/machine/registry.h"
#include "platform/machine/shell_folders.h"
#include "platform/machine/tests/test_util.h"

namespace machine {
namespace {

using machine_test::IsDir;
using machine_test::ReadText;
using machine_test::ScopedEnv;
using machine_test::TempDir;
using machine_test::WriteText;

TEST(FreshMachine, HasWindowsTreeAndProfile) {
  TempDir dir;
  std::string root = dir / "m";  // missing: created as a fresh machine
  Machine m(root);
  const std::string user = m.profile().userName;
  ASSERT_FALSE(user.empty());
  const std::string folders[] = {
      "Windows", "Windows/System32", "Windows/SysWOW64", "Windows/Fonts", "Windows/Temp",
      "Program Files", "Program Files/Common Files", "Program Files (x86)",
      "Program Files (x86)/Common Files", "ProgramData",
      "ProgramData/Microsoft/Windows/Start Menu/Programs/Startup", "Users/Public/Desktop",
      "Users/" + user + "/AppData/Roaming", "Users/" + user + "/AppData/Local",
      "Users/" + user + "/Desktop", "Users/" + user + "/Documents",
      "Users/" + user + "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs",
  };
  for (const std::string& f : folders) EXPECT_TRUE(IsDir(root + "/drive_c/" + f)) << f;
  EXPECT_TRUE(std::filesystem::exists(m.ProfilePath()));
  EXPECT_EQ(m.profile().family, "NT");
  EXPECT_TRUE(m.IsNT());
  EXPECT_TRUE(m.IsAdmin());
  EXPECT_TRUE(m.profile().is64Bit);
  EXPECT_GT(m.profile().memoryMB, 0);
  EXPECT_LE(m.profile().computerName.size(), 15u);
  EXPECT_EQ(m.Root(), root);
}

TEST(FreshMachine, ThirtyTwoBitProfileHasNoX86Folders) {
  TempDir dir;
  WriteText(dir / "m/profile.ini", "[Windows]\r\nIs64Bit=0\r\n");
  Machine m(dir / "m");
  EXPECT_TRUE(IsDir(dir / "m/drive_c/Program Files"));
  EXPECT_FALSE(IsDir(dir / "m/drive_c/Program Files (x86)"));
  EXPECT_FALSE(IsDir(dir / "m/drive_c/Windows/SysWOW64"));
}

// A profile written before the machine is opened plays another machine:
// missing keys take the fresh defaults, given keys win.
TEST(FreshMachine, PartialProfilePlaysAnotherMachine) {
  TempDir dir;
  WriteText(dir / "m/profile.ini",
            "[Windows]\r\nFamily=9x\r\nVersionMajor=4\r\nVersionMinor=10\r\nBuild=2222\r\n"
            "ServicePack=\r\nIs64Bit=0\r\n[User]\r\nUserName=Eva\r\nAdministrator=0\r\n");
  Machine m(dir / "m");
  EXPECT_FALSE(m.IsNT());
  EXPECT_EQ(m.profile().family, "9x");
  EXPECT_EQ(m.profile().versionMinor, 10);
  EXPECT_EQ(m.profile().build, 2222);
  EXPECT_EQ(m.profile().userName, "Eva");
  EXPECT_FALSE(m.IsAdmin());
  EXPECT_EQ(m.profile().screenWidth, 1920);  // default
  EXPECT_TRUE(IsDir(dir / "m/drive_c/Windows/System"));
  EXPECT_TRUE(IsDir(dir / "m/drive_c/My Documents"));
  // The edited profile is not overwritten when the machine opens again.
  Machine again(dir / "m");
  EXPECT_EQ(again.profile().userName, "Eva");
  EXPECT_NE(ReadText(dir / "m/profile.ini").find("UserName=Eva"), std::string::npos);
}

TEST(FreshMachine, ProfileRoundTripsAndNewUserGetsFolders) {
  TempDir dir;
  Machine m(dir / "m");
  Profile p = m.profile();
  p.userName = "Karel Novák";
  p.isAdmin = false;
  p.servicePack = "Service Pack 2";
  p.screenWidth = 768;
  p.screenHeight = 1024;
  p.shortDateFormat = "dd.MM.yyyy";
  p.dateSeparator = '.';
  ASSERT_TRUE(m.SetProfile(p));
  Machine again(dir / "m");
  EXPECT_EQ(again.profile().userName, "Karel Novák");
  EXPECT_FALSE(again.IsAdmin());
  EXPECT_EQ(again.profile().ServicePackLevel(), 2);
  EXPECT_EQ(again.profile().screenHeight, 1024);
  EXPECT_EQ(again.profile().shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(again.profile().dateSeparator, '.');
  EXPECT_TRUE(IsDir(dir / "m/drive_c/Users/Karel Novák/AppData/Roaming"));
}

TEST(Profile, ServicePackLevel) {
  struct { const char* text; int level; } cases[] = {
      {"", 0}, {"Service Pack 2", 2}, {"Service Pack 10", 10}, {"Service Pack 6a", 6},
      {"Beta", 0},
  };
  for (const auto& c : cases) {
    Profile p;
    p.servicePack = c.text;
    EXPECT_EQ(p.ServicePackLevel(), c.level) << c.text;
  }
}

TEST(Profile, FormatSettingsComeFromTheProfile) {
  TempDir dir;
  WriteText(dir / "m/profile.ini",
            "[Locale]\r\nShortDateFormat=dd.MM.yyyy\r\nLongTimeFormat=HH:nn:ss\r\nDateSeparator=.\r\n");
  Machine m(dir / "m");
  base::TFormatSettings saved = base::DefaultFormatSettings();
  m.ApplyFormatSettings();
  EXPECT_EQ(base::DefaultFormatSettings().shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(base::DefaultFormatSettings().longTimeFormat, "HH:nn:ss");
  EXPECT_EQ(base::DefaultFormatSettings().dateSeparator, '.');
  base::DefaultFormatSettings() = saved;
}

class Mapping : public ::testing::Test {
 protected:
  TempDir dir;
  Machine m{dir / "m"};
  std::string c(const std::string& rel) const { return m.DriveC() + rel; }
};

TEST_F(Mapping, ToHostTable) {
  struct { std::string in, host; } cases[] = {
      {"C:\\Windows", c("/Windows")},
      {"C:\\Windows\\", c("/Windows")},
      {"C:\\Windows\\\\\\", c("/Windows")},
      {"c:\\windows\\FONTS", c("/Windows/Fonts")},  // drive letter and names in any case
      {"C:/Program Files/Common Files/", c("/Program Files/Common Files")},
      {"C:", m.DriveC()},
      {"C:\\", m.DriveC()},
      {"C:\\..", m.DriveC()},
      {"C:\\..\\..\\etc\\passwd", c("/etc/passwd")},  // ".." never leaves the drive
      {"C:\\Windows\\..\\..\\..\\x", c("/x")},
      {"C:\\Windows\\.\\System32\\..\\Fonts", c("/Windows/Fonts")},
      {"C:\\New Folder\\file.txt", c("/New Folder/file.txt")},  // missing names kept
      {"\\Windows\\Temp", c("/Windows/Temp")},                 // root of the current drive
      {"\\\\?\\C:\\Windows", c("/Windows")},
      {"Z:\\tmp\\a", "/tmp/a"},
      {"z:\\", "/"},
      {"Z:\\..\\..\\tmp", "/tmp"},
      {"Z:\\TMP", "/tmp"},  // resolved to the existing host folder
      {"/tmp/x/../y", "/tmp/y"},
      {"/", "/"},
      {"D:\\x", ""},
      {"\\\\server\\share\\x", ""},
      {"//server/share", ""},
      {"\\\\.\\COM1", ""},
      {"\\\\?\\UNC\\server\\share", ""},
      {"", ""},
      {std::string("C:\\a\0b", 6), ""},
  };
  for (const auto& k : cases) EXPECT_EQ(m.ToHost(k.in), k.host) << k.in;
}

// A 32-bit program on a 64-bit machine sees SysWOW64 as System32 unless it
// switches redirection off; shared folders stay where they are.
TEST_F(Mapping, System32Redirection) {
  struct { bool on; const char* in; std::string host; } cases[] = {
      {true, "C:\\Windows\\System32", c("/Windows/SysWOW64")},
      {true, "c:\\WINDOWS\\system32\\x.dll", c("/Windows/SysWOW64/x.dll")},
      {true, "\\Windows\\System32\\x.dll", c("/Windows/SysWOW64/x.dll")},
      {true, "C:\\Windows\\System32\\drivers\\etc\\hosts", c("/Windows/System32/drivers/etc/hosts")},
      {true, "C:\\Windows\\System32\\drivers\\x.sys", c("/Windows/SysWOW64/drivers/x.sys")},
      {true, "C:\\Windows\\System32\\spool", c("/Windows/System32/spool")},
      {true, "C:\\Windows\\System32x", c("/Windows/System32x")},
      {false, "C:\\Windows\\System32\\x.dll", c("/Windows/System32/x.dll")},
      {true, "C:\\Windows\\Sysnative\\x.dll", c("/Windows/System32/x.dll")},
  };
  for (const auto& k : cases) {
    bool old = Machine::SetFileSystemRedirection(k.on);
    EXPECT_EQ(m.ToHost(k.in), k.host) << k.in << " redirection " << k.on;
    Machine::SetFileSystemRedirection(old);
  }
  EXPECT_TRUE(Machine::FileSystemRedirection());  // the default
  EXPECT_EQ(m.ToWindows(c("/Windows/System32/x.dll")), "C:\\Windows\\Sysnative\\x.dll");
  EXPECT_EQ(m.ToWindows(c("/Windows/System32/drivers/etc")), "C:\\Windows\\System32\\drivers\\etc");
  Machine::SetFileSystemRedirection(false);
  EXPECT_EQ(m.ToWindows(c("/Windows/System32/x.dll")), "C:\\Windows\\System32\\x.dll");
  Machine::SetFileSystemRedirection(true);
  Profile p = m.profile();
  p.is64Bit = false;
  m.SetProfile(p);
  EXPECT_EQ(m.ToHost("C:\\Windows\\System32"), c("/Windows/System32"));
}

TEST_F(Mapping, CaseFoldingPrefersTheExactName) {
  std::filesystem::create_directories(c("/Data/Sub"));
  std::filesystem::create_directories(c("/data"));
  EXPECT_EQ(m.ToHost("C:\\data"), c("/data"));
  EXPECT_EQ(m.ToHost("C:\\Data\\SUB\\f.txt"), c("/Data/Sub/f.txt"));
  EXPECT_EQ(m.ToHost("C:\\DATA"), c("/Data"));  // no exact entry: the first in sorted order
}

TEST_F(Mapping, ToWindowsTable) {
  struct { std::string in, win; } cases[] = {
      {c("/Windows"), "C:\\Windows"},
      {c("/Windows/"), "C:\\Windows\\"},
      {m.DriveC(), "C:\\"},
      {m.DriveC() + "/", "C:\\"},
      {c("/../drive_c/Users"), "C:\\Users"},
      {m.Root() + "/drive_cx/f", "Z:" + ([&] {
         std::string s = m.Root() + "/drive_cx/f";
         for (char& ch : s) if (ch == '/') ch = '\\';
         return s;
       })()},
      {"/tmp/x", "Z:\\tmp\\x"},
      {"/tmp/x/", "Z:\\tmp\\x\\"},
      {"/", "Z:\\"},
      {"/../..", "Z:\\"},
      {"c:/a/../b", "C:\\b"},
      {"z:\\tmp\\", "Z:\\tmp\\"},
      {"\\\\srv\\share\\a\\..\\b", "\\\\srv\\share\\b"},
  };
  for (const auto& k : cases) EXPECT_EQ(m.ToWindows(k.in), k.win) << k.in;
}

TEST_F(Mapping, HostPathsRoundTrip) {
  for (const std::string& host : {c("/Windows/System32"), std::string("/tmp"), std::string("/usr/lib"),
                                  c("/Users")}) {
    std::string win = m.ToWindows(host);
    EXPECT_EQ(m.ToHost(win), host) << win;
  }
}

TEST_F(Mapping, TempPath) {
  {
    ScopedEnv t("TMPDIR", nullptr);
    EXPECT_EQ(m.TempPath(), "Z:\\tmp\\");
  }
  ScopedEnv t("TMPDIR", (dir / "tmp/sub/").c_str());
  std::string w = m.TempPath();
  EXPECT_EQ(w.back(), '\\');
  EXPECT_EQ(w.substr(0, 3), "Z:\\");
  EXPECT_EQ(m.ToHost(w), dir / "tmp/sub");
  EXPECT_TRUE(IsDir(dir / "tmp/sub"));  // created
}

TEST(Environment, VariablesAndExpansion) {
  TempDir dir;
  Machine m(dir / "m");
  ScopedEnv t("TMPDIR", "/tmp");
  const std::string user = m.profile().userName;
  ASSERT_EQ(m.registry().SetValue(RegRoot::CurrentUser, "Environment", "ACME_HOME",
                                  RegValue::ExpandString("%ProgramFiles%\\Acme")),
            kRegOk);
  struct { const char* in; std::string out; } cases[] = {
      {"%SystemRoot%\\system32", "C:\\Windows\\system32"},
      {"%systemroot%", "C:\\Windows"},
      {"%ProgramFiles%", "C:\\Program Files (x86)"},  // the 32-bit engine's view
      {"%ProgramW6432%", "C:\\Program Files"},
      {"%USERPROFILE%\\x", "C:\\Users\\" + user + "\\x"},
      {"%APPDATA%", "C:\\Users\\" + user + "\\AppData\\Roaming"},
      {"%TEMP%", "Z:\\tmp"},
      {"%NOSUCH%\\a", "%NOSUCH%\\a"},
      {"100% sure", "100% sure"},
      {"%%", "%%"},
      {"%NOSUCH%windir%", "%NOSUCHC:\\Windows"},
      {"%ACME_HOME%", "%ProgramFiles%\\Acme"},  // registry value, not expanded again
      {"%PATH%", "%SystemRoot%\\system32;%SystemRoot%"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(m.ExpandEnvironmentStrings(c.in), c.out) << c.in;
}

TEST(DiskSpace, FromTheHostFileSystem) {
  TempDir dir;
  Machine m(dir / "m");
  unsigned long long freeBytes = 0, total = 0;
  ASSERT_TRUE(m.DiskSpace("C:\\Program Files\\Not There Yet\\", freeBytes, total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeBytes, total);
  EXPECT_TRUE(m.DiskSpace("/tmp", freeBytes, total));
  EXPECT_FALSE(m.DiskSpace("D:\\", freeBytes, total));
}

TEST(Reboot, RequestsAreOnlyRecorded) {
  TempDir dir;
  Machine m(dir / "m");
  EXPECT_TRUE(m.RebootRequests().empty());
  m.RequestReboot("Reboot Computer");
  m.RequestReboot("two\nlines");
  EXPECT_EQ(m.RebootRequests(), (std::vector<std::string>{"Reboot Computer", "two lines"}));
  EXPECT_EQ(Machine(dir / "m").RebootRequests().size(), 2u);
}

TEST(ShellFolders, NinetyFiveLayout) {
  TempDir dir;
  WriteText(dir / "m/profile.ini", "[Windows]\r\nFamily=9x\r\nIs64Bit=0\r\n");
  Machine m(dir / "m");
  EXPECT_EQ(ShellFolderPath(m, csidl::kSystem), "C:\\Windows\\System\\");
  EXPECT_EQ(ShellFolderPath(m, csidl::kProgramFiles), "C:\\Program Files\\");
  EXPECT_EQ(ShellFolderPath(m, csidl::kPersonal), "C:\\My Documents\\");
  EXPECT_EQ(ShellFolderFor(m, csidl::kDesktop, true), "C:\\Windows\\All Users\\Desktop\\");
}

TEST(Current, FollowsTheEnvironment) {
  TempDir dir;
  {
    ScopedEnv e("SETUPENGINE_MACHINE", (dir / "env-machine").c_str());
    Machine::ResetCurrent();
    EXPECT_EQ(Machine::Current().Root(), dir / "env-machine");
    EXPECT_EQ(&Machine::Current(), &Machine::Current());
    EXPECT_TRUE(IsDir(dir / "env-machine/drive_c/Windows"));
  }
  ScopedEnv e("SETUPENGINE_MACHINE", nullptr);
  ScopedEnv x("XDG_DATA_HOME", (dir / "xdg").c_str());
  EXPECT_EQ(Machine::DefaultRoot(), dir / "xdg/setupengine/machine");
  ScopedEnv x2("XDG_DATA_HOME", nullptr);
  ScopedEnv h("HOME", (dir / "home").c_str());
  EXPECT_EQ(Machine::DefaultRoot(), dir / "home/.local/share/setupengine/machine");
  Machine::ResetCurrent();
}

TEST(ShellFolders, ViewsOfASixtyFourBitMachine) {
  TempDir dir;
  Machine m(dir / "m");
  EXPECT_EQ(ShellFolderPath(m, csidl::kProgramFiles), "C:\\Program Files (x86)\\");
  EXPECT_EQ(ShellFolderPath(m, csidl::kProgramFiles, FolderView::Native), "C:\\Program Files\\");
  EXPECT_EQ(ShellFolderPath(m, csidl::kSystem), "C:\\Windows\\SysWOW64\\");
  EXPECT_EQ(ShellFolderPath(m, csidl::kSystem, FolderView::Native), "C:\\Windows\\System32\\");
  EXPECT_EQ(ShellFolderPath(m, 9999), "");
  std::string appData = ShellFolderByName(m, "local appdata");
  EXPECT_EQ(appData, "C:\\Users\\" + m.profile().userName + "\\AppData\\Local\\");
  EXPECT_EQ(ShellFolderByName(m, "Common AppData"), "C:\\ProgramData\\");
  EXPECT_EQ(ShellFolderByName(m, "CommonFilesDir"), "C:\\Program Files (x86)\\Common Files\\");
  EXPECT_EQ(ShellFolderByName(m, "programfilesdir", FolderView::Native), "C:\\Program Files\\");
  EXPECT_EQ(ShellFolderByName(m, "Start Menu"),
            "C:\\Users\\" + m.profile().userName + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\");
  EXPECT_EQ(ShellFolderByName(m, "No Such Folder"), "");
  struct { int id; bool all; std::string want; } pairs[] = {
      {csidl::kAppData, true, "C:\\ProgramData\\"},
      {csidl::kAppData, false, "C:\\Users\\" + m.profile().userName + "\\AppData\\Roaming\\"},
      {csidl::kDesktop, true, "C:\\Users\\Public\\Desktop\\"},
      {csidl::kPrograms, true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\"},
      {csidl::kFonts, false, "C:\\Windows\\Fonts\\"},
      {csidl::kFonts, true, "C:\\Windows\\Fonts\\"},
  };
  for (const auto& c : pairs) {
    EXPECT_EQ(ShellFolderFor(m, c.id, c.all), c.want) << c.id;
    EXPECT_TRUE(IsDir(m.ToHost(c.want))) << c.want;
  }
  std::filesystem::remove_all(m.ToHost(appData));
  EXPECT_EQ(ShellFolderByName(m, "Local AppData"), appData);
  EXPECT_TRUE(IsDir(m.ToHost(appData)));  // exists again when asked for
}

}  // namespace
}  // namespace machine
