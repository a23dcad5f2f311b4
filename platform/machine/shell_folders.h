// Well-known folders of the machine, by shell special-folder number (the
// numbers scripts use) and by the registry name of the "Shell Folders" keys.
//
// One table (shell_folders.cpp) gives every folder its place on C: for the
// NT family (Users\<name>\..., ProgramData\...) and for Windows 9x
// (Windows\...).  The fresh machine's folder tree and the registry's
// "Shell Folders" / "User Shell Folders" values are made from the same table,
// so the two never disagree.
//
// Results are Windows-form folders with a trailing backslash; the host folder
// exists when the call returns (it is created on demand).  An unknown folder
// gives an empty text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace machine {

class Machine;
struct Profile;

namespace csidl {
constexpr int kDesktop = 0, kPrograms = 2, kPersonal = 5, kFavorites = 6, kStartup = 7,
              kRecent = 8, kSendTo = 9, kStartMenu = 11, kMyMusic = 13, kMyVideo = 14,
              kDesktopDirectory = 16, kNetHood = 19, kFonts = 20, kTemplates = 21,
              kCommonStartMenu = 22, kCommonPrograms = 23, kCommonStartup = 24,
              kCommonDesktopDirectory = 25, kAppData = 26, kPrintHood = 27,
              kLocalAppData = 28, kCommonFavorites = 31, kInternetCache = 32, kCookies = 33,
              kHistory = 34, kCommonAppData = 35, kWindows = 36, kSystem = 37,
              kProgramFiles = 38, kMyPictures = 39, kProfile = 40, kSystemX86 = 41,
              kProgramFilesX86 = 42, kProgramFilesCommon = 43, kProgramFilesCommonX86 = 44,
              kCommonTemplates = 45, kCommonDocuments = 46, kCommonAdminTools = 47,
              kAdminTools = 48, kCommonMusic = 53, kCommonPictures = 54, kCommonVideo = 55,
              kCDBurnArea = 59, kProfiles = 62;
}  // namespace csidl

// Which program asks: the engine is a 32-bit program, so on a 64-bit machine
// it sees "Program Files (x86)" and SysWOW64 unless it asks for the native
// (64-bit) view.
enum class FolderView { Process32, Native };

// Windows-form folder (trailing backslash) for the profile's user, without
// touching the host.  Empty for an unknown number.
std::string ShellFolderText(const Profile& p, int csidlNumber, FolderView view = FolderView::Process32);
// The same, created on the host.
std::string ShellFolderPath(const Machine& m, int csidlNumber, FolderView view = FolderView::Process32);
// By registry name ("AppData", "Local AppData", "Common AppData", "Desktop",
// "Personal", "Start Menu", "Common Programs", ...) and "ProgramFilesDir",
// "CommonFilesDir", "System", "Windows", "Profile", "Profiles"; case-insensitive.
std::string ShellFolderByName(const Machine& m, std::string_view name, FolderView view = FolderView::Process32);

// The folder for all users (allUsers) or for the current user: a per-user
// number given with allUsers names its common counterpart (desktop -> common
// desktop, application data -> common application data, ...); folders
// without one are the same for both.
int CommonCounterpart(int csidlNumber);
std::string ShellFolderFor(const Machine& m, int csidlNumber, bool allUsers,
                           FolderView view = FolderView::Process32);

struct ShellFolderEntry {
  int csidl;
  const char* name;   // the value name under "Shell Folders"; nullptr if none
  bool common;        // under HKLM (all users) rather than HKCU
};
const std::vector<ShellFolderEntry>& ShellFolderTable();

// Every folder a fresh machine has for the profile (Windows form, with the
// profile's user), parents before children.
std::vector<std::string> FreshFolders(const Profile& p);

}  // namespace machine
