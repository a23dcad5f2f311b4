#include "platform/machine/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/files.h"
#include "platform/machine/machine.h"
#include "platform/machine/shell_folders.h"
#include "platform/machine/tests/test_util.h"

namespace machine {
namespace {

using machine_test::ReadText;
using machine_test::TempDir;
using machine_test::WriteText;

constexpr RegRoot HKLM = RegRoot::LocalMachine, HKCU = RegRoot::CurrentUser, HKCR = RegRoot::ClassesRoot;

TEST(Registry, ValueTypesSurviveTheFile) {
  TempDir dir;
  struct { const char* name; RegValue value; } cases[] = {
      {"plain", RegValue::String("C:\\Program Files\\Acme\\")},
      {"quotes \"and\" \\", RegValue::String("say \"hi\" \\\\server\\")},
      {"", RegValue::String("the default value")},
      {"lines", RegValue::String("one\r\ntwo\nthree")},
      {"latin", RegValue::String("Café Straße")},          // Windows-1252
      {"czech", RegValue::String("Příliš žluťoučký kůň")},  // not in Windows-1252
      {"lookalike", RegValue::String("Ã©")},               // 1252 bytes that form UTF-8
      {"empty", RegValue::String("")},
      {"expand", RegValue::ExpandString("%SystemRoot%\\system32")},
      {"multi", RegValue::MultiString({"a", "b c", "Příliš"})},
      {"multi0", RegValue::MultiString({})},
      {"dword", RegValue::DWord(0xFFFFFFFFu)},
      {"dword0", RegValue::DWord(10)},
      {"qword", RegValue::QWord(0x0123456789ABCDEFull)},
      {"binary", RegValue::Binary(std::string("\x00\x01\xFF\x80", 4))},
      {"long binary", RegValue::Binary(std::string(300, '\x5A'))},
      {"nothing", RegValue::Binary("")},
      {"odd type", RegValue::Raw(0x123, "xyz")},
  };
  {
    Machine m(dir / "m");
    for (const auto& c : cases)
      ASSERT_EQ(m.registry().SetValue(HKCU, "Software\\Types", c.name, c.value), kRegOk) << c.name;
  }
  Machine again(dir / "m");  // a new reader parses the file
  for (const auto& c : cases) {
    auto v = again.registry().GetValue(HKCU, "software\\TYPES", c.name);
    ASSERT_TRUE(v) << c.name;
    EXPECT_TRUE(*v == c.value) << c.name << ": " << v->AsText();
  }
  EXPECT_EQ(again.registry().ValueNames(HKCU, "Software\\Types").size(), std::size(cases));
  std::string text = ReadText(again.registry().UserHivePath(again.profile().userName));
  EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
  EXPECT_NE(text.find("\"dword0\"=dword:0000000a\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"latin\"=\"Caf\xE9 Stra\xDF" "e\"\r\n"), std::string::npos);  // ANSI on disk
  EXPECT_NE(text.find("\"quotes \\\"and\\\" \\\\\"="), std::string::npos);
  EXPECT_NE(text.find("@=\"the default value\""), std::string::npos);
  EXPECT_NE(text.find("\"expand\"=hex(2):25,"), std::string::npos);
}

TEST(Registry, KeysAreCaseInsensitiveAndDeleteWholeTrees) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Acme\\App\\Sub", "v", RegValue::DWord(1)), kRegOk);
  ASSERT_EQ(r.CreateKey(HKCU, "Software\\Acme\\Other\\"), kRegOk);
  EXPECT_TRUE(r.KeyExists(HKCU, "SOFTWARE\\acme\\app"));  // parents exist
  EXPECT_EQ(r.SubKeys(HKCU, "Software\\ACME"), (std::vector<std::string>{"App", "Other"}));
  EXPECT_EQ(r.DeleteValue(HKCU, "Software\\Acme\\App\\Sub", "V"), kRegOk);
  EXPECT_EQ(r.DeleteValue(HKCU, "Software\\Acme\\App\\Sub", "v"), kRegNotFound);
  EXPECT_EQ(r.DeleteKey(HKCU, "software\\acme"), kRegOk);
  EXPECT_FALSE(r.KeyExists(HKCU, "Software\\Acme\\App\\Sub"));
  EXPECT_TRUE(r.KeyExists(HKCU, "Software"));
  EXPECT_EQ(r.DeleteKey(HKCU, "Software\\Acme"), kRegNotFound);
  EXPECT_EQ(r.DeleteKey(HKCU, ""), kRegInvalidParameter);
  EXPECT_FALSE(r.GetValue(HKCU, "Software\\Missing", "x"));
  // Names that cannot stand on one line of the hive are refused, and the hive stays usable.
  EXPECT_EQ(r.SetValue(HKCU, "Software\\Bad\nKey", "v", RegValue::DWord(1)), kRegInvalidParameter);
  EXPECT_EQ(r.SetValue(HKCU, "Software\\Acme", "bad\r\nname", RegValue::DWord(1)), kRegInvalidParameter);
  EXPECT_EQ(r.SetValue(HKCU, "Software\\Acme", "ok", RegValue::DWord(1)), kRegOk);
  EXPECT_TRUE(r.SubKeys(HKCR, "bad\nkey").empty());
  EXPECT_FALSE(r.KeyExists(HKCR, "bad\nkey"));
  // Strings end at a NUL; a multi-string keeps no empty strings.
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Acme", "nul", RegValue::String(std::string("ab\0cd", 5))), kRegOk);
  EXPECT_EQ(r.ReadString(HKCU, "Software\\Acme", "nul"), "ab");
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Acme", "multi", RegValue::MultiString({"a", "", "b", ""})), kRegOk);
  EXPECT_TRUE(*Machine(m.Root()).registry().GetValue(HKCU, "Software\\Acme", "multi") ==
              RegValue::MultiString({"a", "b"}));
}

TEST(Registry, FreshMachineHasTheUsualKeys) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const std::string cv = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(r.ReadString(HKLM, nt, "RegisteredOwner"), m.profile().registeredOwner);
  EXPECT_TRUE(r.GetValue(HKLM, nt, "RegisteredOrganization"));
  for (unsigned view : {0u, kWow64_32Key, kWow64_64Key})
    for (const char* k : {"\\Uninstall", "\\Run", "\\RunOnce"}) EXPECT_TRUE(r.KeyExists(HKLM, cv + k, view)) << k;
  EXPECT_TRUE(r.KeyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_TRUE(r.KeyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  EXPECT_EQ(r.ReadString(HKLM, cv, "ProgramFilesDir", kWow64_64Key), "C:\\Program Files");
  EXPECT_EQ(r.ReadString(HKLM, cv, "ProgramFilesDir", kWow64_32Key), "C:\\Program Files (x86)");
  EXPECT_EQ(r.ReadString(HKLM, cv, "CommonFilesDir"), "C:\\Program Files (x86)\\Common Files");
  EXPECT_EQ(r.ReadString(HKLM, cv + "\\Setup", "BootDir"), "C:\\");
  EXPECT_EQ(r.ReadString(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData") + "\\",
            ShellFolderText(m.profile(), csidl::kAppData));
  EXPECT_EQ(r.ReadString(HKLM, cv + "\\Explorer\\Shell Folders", "Common AppData"), "C:\\ProgramData");
  EXPECT_EQ(r.ReadString(HKLM, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"),
            m.profile().computerName);
}

TEST(Registry, NinetyFiveFamilyKeepsTheOwnerElsewhere) {
  TempDir dir;
  WriteText(dir / "m/profile.ini",
            "[Windows]\r\nFamily=9x\r\nVersionMajor=4\r\nVersionMinor=10\r\nIs64Bit=0\r\n"
            "[User]\r\nRegisteredOwner=Eva\r\nAdministrator=0\r\n");
  Machine m(dir / "m");
  EXPECT_EQ(m.registry().ReadString(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "RegisteredOwner"), "Eva");
  EXPECT_FALSE(m.registry().KeyExists(HKLM, "SOFTWARE\\WOW6432Node"));
  // 9x has no access rights: an ordinary user writes HKLM.
  EXPECT_EQ(m.registry().SetValue(HKLM, "SOFTWARE\\Acme", "v", RegValue::DWord(1)), kRegOk);
}

TEST(Registry, ThirtyTwoBitViewUnderWow6432Node) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  ASSERT_EQ(r.SetValue(HKLM, "SOFTWARE\\Acme", "v", RegValue::String("32"), kWow64_32Key), kRegOk);
  ASSERT_EQ(r.SetValue(HKLM, "SOFTWARE\\Acme", "v", RegValue::String("64"), kWow64_64Key), kRegOk);
  struct { unsigned access; const char* key; const char* want; } cases[] = {
      {kWow64_32Key, "SOFTWARE\\Acme", "32"},
      {0, "SOFTWARE\\Acme", "32"},  // no flag: the 32-bit engine's view
      {kWow64_64Key, "SOFTWARE\\Acme", "64"},
      {kWow64_64Key, "SOFTWARE\\WOW6432Node\\Acme", "32"},
      {kWow64_32Key, "SOFTWARE\\WOW6432Node\\Acme", "32"},
      {kWow64_64Key | 0x20019, "SOFTWARE\\Acme", "64"},  // other access bits do not matter
  };
  for (const auto& c : cases)
    EXPECT_EQ(r.ReadString(HKLM, c.key, "v", c.access), c.want) << c.access << " " << c.key;
  // SOFTWARE\Classes and HKCU are shared by both views.
  ASSERT_EQ(r.SetValue(HKLM, "SOFTWARE\\Classes\\.acme", "", RegValue::String("Acme.File"), kWow64_32Key), kRegOk);
  EXPECT_EQ(r.ReadString(HKLM, "SOFTWARE\\Classes\\.acme", "", kWow64_64Key), "Acme.File");
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Acme", "u", RegValue::DWord(5), kWow64_32Key), kRegOk);
  EXPECT_EQ(r.ReadDWord(HKCU, "Software\\Acme", "u", kWow64_64Key), 5u);
  std::vector<std::string> sub32 = r.SubKeys(HKLM, "SOFTWARE", kWow64_32Key);
  EXPECT_NE(std::find(sub32.begin(), sub32.end(), "Acme"), sub32.end());
  EXPECT_EQ(std::find(sub32.begin(), sub32.end(), "WOW6432Node"), sub32.end());

  // A 32-bit machine has one view whatever the flags.
  Profile p = m.profile();
  p.is64Bit = false;
  m.SetProfile(p);
  EXPECT_EQ(r.ReadString(HKLM, "SOFTWARE\\Acme", "v", kWow64_32Key), "64");
}

TEST(Registry, ClassesRootMergesUserOverMachine) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  ASSERT_EQ(r.SetValue(HKLM, "SOFTWARE\\Classes\\.both", "", RegValue::String("machine")), kRegOk);
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Classes\\.both", "", RegValue::String("user")), kRegOk);
  ASSERT_EQ(r.SetValue(HKLM, "SOFTWARE\\Classes\\.mach", "", RegValue::String("m")), kRegOk);
  EXPECT_EQ(r.ReadString(HKCR, ".both", ""), "user");
  EXPECT_EQ(r.ReadString(HKCR, ".mach", ""), "m");
  std::vector<std::string> keys = r.SubKeys(HKCR, "");
  EXPECT_EQ(std::count(keys.begin(), keys.end(), ".both"), 1);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), ".mach"), 1);
  // New keys go to the machine for an administrator, to the user otherwise.
  ASSERT_EQ(r.SetValue(HKCR, ".new1", "", RegValue::String("x")), kRegOk);
  EXPECT_TRUE(r.KeyExists(HKLM, "SOFTWARE\\Classes\\.new1"));
  Profile p = m.profile();
  p.isAdmin = false;
  m.SetProfile(p);
  ASSERT_EQ(r.SetValue(HKCR, ".new2", "", RegValue::String("y")), kRegOk);
  EXPECT_TRUE(r.KeyExists(HKCU, "Software\\Classes\\.new2"));
  EXPECT_EQ(r.ReadString(HKCR, ".new2", ""), "y");
}

TEST(Registry, RightsAndUsers) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  const std::string first = m.profile().userName;
  ASSERT_EQ(r.SetValue(HKCU, "Software\\Acme", "who", RegValue::String(first)), kRegOk);
  Profile p = m.profile();
  p.userName = "Guest2";
  p.isAdmin = false;
  m.SetProfile(p);
  EXPECT_TRUE(r.KeyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"));  // fresh hive
  EXPECT_EQ(r.ReadString(HKCU, "Software\\Acme", "who"), "");                           // per user
  EXPECT_EQ(r.ReadString(RegRoot::Users, first + "\\Software\\Acme", "who"), first);
  std::string before = ReadText(r.MachineHivePath());
  EXPECT_EQ(r.SetValue(HKLM, "SOFTWARE\\Acme", "v", RegValue::DWord(1)), kRegAccessDenied);
  EXPECT_EQ(r.DeleteKey(HKLM, "SOFTWARE\\Microsoft"), kRegAccessDenied);
  EXPECT_EQ(ReadText(r.MachineHivePath()), before);
  EXPECT_EQ(r.SetValue(HKCU, "Software\\Acme", "v", RegValue::DWord(1)), kRegOk);
  Registry system(m, /*systemRights=*/true);
  EXPECT_EQ(system.SetValue(HKLM, "SOFTWARE\\Acme", "v", RegValue::DWord(1)), kRegOk);
  EXPECT_EQ(r.ReadDWord(HKLM, "SOFTWARE\\Acme", "v"), 1u);  // seen by the other object at once
  EXPECT_FALSE(r.KeyExists(RegRoot::Users, "..\\..\\profile"));
}

TEST(Registry, HandEditedHiveIsReadAgain) {
  TempDir dir;
  Machine m(dir / "m");
  Registry& r = m.registry();
  ASSERT_EQ(r.ReadString(HKCU, "Software\\Hand", "s"), "");
  WriteText(r.UserHivePath(m.profile().userName),
            "\xEF\xBB\xBFREGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
            "\"s\" = \"v\"\r\n\"m\"=hex(7):61,00,\\\r\n  62,00,00,00\r\n\"d\"=dword:FF\r\n"
            "\"q\"=hex(b):01,00,00,00,00,00,00,00\n[hkey_current_user\\Software\\Hand\\Low]\n");
  EXPECT_EQ(r.ReadString(HKCU, "Software\\Hand", "s"), "v");
  EXPECT_TRUE(*r.GetValue(HKCU, "Software\\Hand", "m") == RegValue::MultiString({"a", "b"}));
  EXPECT_EQ(r.ReadDWord(HKCU, "Software\\Hand", "d"), 255u);
  EXPECT_EQ(r.GetValue(HKCU, "Software\\Hand", "q")->number, 1u);
  EXPECT_TRUE(r.KeyExists(HKCU, "Software\\Hand\\Low"));
  EXPECT_EQ(r.SetValue(HKCU, "Software\\Hand", "new", RegValue::DWord(2)), kRegOk);
  EXPECT_EQ(r.ReadString(HKCU, "Software\\Hand", "s"), "v");
}

TEST(Registry, MalformedHiveIsReportedOnceAndLeftAlone) {
  struct { const char* what; const char* body; bool keepsGoodValue; } cases[] = {
      {"no header", "[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n", false},
      {"value outside a key", "REGEDIT4\r\n\"x\"=\"1\"\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n", true},
      {"bad dword", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n\"d\"=dword:xyz\r\n", true},
      {"open quote", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n\"s\"=\"abc\r\n", true},
      {"other root", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n", true},
      {"bad hex", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n\"h\"=hex:1,zz\r\n", true},
      {"short qword", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n\"q\"=hex(b):01\r\n", true},
      {"unclosed key", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Bad]\r\n\"ok\"=\"1\"\r\n[HKEY_CURRENT_USER\\X\r\n", true},
      {"empty file", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::string> reports;
    SetRegistryDiagnostics([&](const std::string& msg) { reports.push_back(msg); });
    Machine m(dir / "m");
    Registry& r = m.registry();
    const std::string hive = r.UserHivePath(m.profile().userName);
    WriteText(hive, c.body);
    EXPECT_EQ(r.ReadString(HKCU, "Software\\Bad", "ok"), c.keepsGoodValue ? "1" : "");
    EXPECT_EQ(r.SetValue(HKCU, "Software\\Bad", "w", RegValue::DWord(1)), kRegBadHive);
    EXPECT_EQ(r.DeleteKey(HKCU, "Software\\Bad"), kRegBadHive);
    Machine other(dir / "m");  // opening the machine again does not repair it either
    EXPECT_EQ(other.registry().SetValue(HKCU, "Software\\Bad", "w", RegValue::DWord(1)), kRegBadHive);
    EXPECT_EQ(ReadText(hive), c.body);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(hive), std::string::npos);
    EXPECT_NE(reports[0].find("malformed"), std::string::npos);
    // The machine hive is unaffected.
    EXPECT_EQ(r.SetValue(HKLM, "SOFTWARE\\Fine", "w", RegValue::DWord(1)), kRegOk);
    SetRegistryDiagnostics(nullptr);
  }
}

// Writers in separate processes, all starting on a machine folder that does
// not exist yet: the fresh machine is made once, and every value of every
// writer arrives.
TEST(Registry, ConcurrentProcessesLoseNothing) {
  TempDir dir;
  const std::string root = dir / "m";
  const std::string helper = base::ExecutableDir() + "/registry_writer";
  ASSERT_TRUE(base::FileExists(helper)) << helper;
  constexpr int kWriters = 4, kValues = 60;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string tag = "w" + std::to_string(w), count = std::to_string(kValues);
      execl(helper.c_str(), helper.c_str(), root.c_str(), tag.c_str(), count.c_str(), nullptr);
      _exit(127);
    }
    pids.push_back(pid);
  }
  // This process writes too, while the others run.
  Machine m(root);
  for (int i = 0; i < kValues; ++i)
    ASSERT_EQ(m.registry().SetValue(HKLM, "SOFTWARE\\Stress", "main_" + std::to_string(i), RegValue::DWord(i),
                                    kWow64_64Key),
              kRegOk);
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  Machine after(dir / "m");
  EXPECT_EQ(after.registry().ValueNames(HKLM, "SOFTWARE\\Stress", kWow64_64Key).size(),
            std::size_t(kWriters + 1) * kValues);
  EXPECT_EQ(after.registry().ValueNames(HKCU, "Software\\Stress").size(), std::size_t(kWriters) * kValues);
  for (int w = 0; w < kWriters; ++w)
    EXPECT_EQ(after.registry().ReadDWord(HKLM, "SOFTWARE\\Stress", "w" + std::to_string(w) + "_" +
                                             std::to_string(kValues - 1), kWow64_64Key),
              std::uint32_t(kValues - 1));
  // The usual keys of the fresh machine are there once, next to the writers' values.
  EXPECT_TRUE(after.registry().KeyExists(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  EXPECT_FALSE(after.registry().ReadString(HKLM, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                           "RegisteredOwner").empty());
  EXPECT_NE(ReadText(after.ProfilePath()).find("[Windows]"), std::string::npos);
  // No temporary files are left beside the hives.
  for (const auto& e : std::filesystem::directory_iterator(dir / "m/registry"))
    EXPECT_TRUE(e.path().extension() == ".reg" || e.path().extension() == ".lock" || e.is_directory())
        << e.path();
}

}  // namespace
}  // namespace machine
