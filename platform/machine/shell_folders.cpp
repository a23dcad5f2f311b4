#include "platform/machine/shell_folders.h"

#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/winpath.h"

namespace machine {
namespace {

// "%U%" stands for the profile's user name.  Program Files, Common Files and
// the system folder depend on the view and are handled in code.
struct Row {
  int csidl;
  const char* name;
  bool common;
  const char* nt;
  const char* w9x;
};

const Row kRows[] = {
    {csidl::kDesktop, "Desktop", false, "C:\\Users\\%U%\\Desktop", "C:\\Windows\\Desktop"},
    {csidl::kDesktopDirectory, nullptr, false, "C:\\Users\\%U%\\Desktop", "C:\\Windows\\Desktop"},
    {csidl::kPersonal, "Personal", false, "C:\\Users\\%U%\\Documents", "C:\\My Documents"},
    {csidl::kFavorites, "Favorites", false, "C:\\Users\\%U%\\Favorites", "C:\\Windows\\Favorites"},
    {csidl::kMyMusic, "My Music", false, "C:\\Users\\%U%\\Music", "C:\\My Documents\\My Music"},
    {csidl::kMyPictures, "My Pictures", false, "C:\\Users\\%U%\\Pictures", "C:\\My Documents\\My Pictures"},
    {csidl::kMyVideo, "My Video", false, "C:\\Users\\%U%\\Videos", "C:\\My Documents\\My Videos"},
    {csidl::kAppData, "AppData", false, "C:\\Users\\%U%\\AppData\\Roaming", "C:\\Windows\\Application Data"},
    {csidl::kLocalAppData, "Local AppData", false, "C:\\Users\\%U%\\AppData\\Local",
     "C:\\Windows\\Local Settings\\Application Data"},
    {csidl::kInternetCache, "Cache", false,
     "C:\\Users\\%U%\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files",
     "C:\\Windows\\Temporary Internet Files"},
    {csidl::kCookies, "Cookies", false, "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Cookies",
     "C:\\Windows\\Cookies"},
    {csidl::kHistory, "History", false, "C:\\Users\\%U%\\AppData\\Local\\Microsoft\\Windows\\History",
     "C:\\Windows\\History"},
    {csidl::kNetHood, "NetHood", false, "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Network Shortcuts",
     "C:\\Windows\\NetHood"},
    {csidl::kPrintHood, "PrintHood", false,
     "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Printer Shortcuts", "C:\\Windows\\PrintHood"},
    {csidl::kRecent, "Recent", false, "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Recent",
     "C:\\Windows\\Recent"},
    {csidl::kSendTo, "SendTo", false, "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\SendTo",
     "C:\\Windows\\SendTo"},
    {csidl::kTemplates, "Templates", false, "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Templates",
     "C:\\Windows\\ShellNew"},
    {csidl::kStartMenu, "Start Menu", false,
     "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu", "C:\\Windows\\Start Menu"},
    {csidl::kPrograms, "Programs", false,
     "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
     "C:\\Windows\\Start Menu\\Programs"},
    {csidl::kStartup, "Startup", false,
     "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     "C:\\Windows\\Start Menu\\Programs\\StartUp"},
    {csidl::kAdminTools, "Administrative Tools", false,
     "C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools",
     "C:\\Windows\\Start Menu\\Programs\\Administrative Tools"},
    {csidl::kCDBurnArea, "CD Burning", false,
     "C:\\Users\\%U%\\AppData\\Local\\Microsoft\\Windows\\Burn\\Burn",
     "C:\\Windows\\Local Settings\\Application Data\\Microsoft\\CD Burning"},
    {csidl::kProfile, nullptr, false, "C:\\Users\\%U%", "C:\\Windows"},
    {csidl::kProfiles, nullptr, true, "C:\\Users", "C:\\Windows\\Profiles"},
    {csidl::kFonts, "Fonts", true, "C:\\Windows\\Fonts", "C:\\Windows\\Fonts"},
    {csidl::kWindows, nullptr, true, "C:\\Windows", "C:\\Windows"},
    {csidl::kCommonAppData, "Common AppData", true, "C:\\ProgramData",
     "C:\\Windows\\All Users\\Application Data"},
    {csidl::kCommonDesktopDirectory, "Common Desktop", true, "C:\\Users\\Public\\Desktop",
     "C:\\Windows\\All Users\\Desktop"},
    {csidl::kCommonDocuments, "Common Documents", true, "C:\\Users\\Public\\Documents",
     "C:\\Windows\\All Users\\Documents"},
    {csidl::kCommonFavorites, "Common Favorites", true, "C:\\Users\\Public\\Favorites",
     "C:\\Windows\\All Users\\Favorites"},
    {csidl::kCommonMusic, "CommonMusic", true, "C:\\Users\\Public\\Music", "C:\\Windows\\All Users\\Documents\\My Music"},
    {csidl::kCommonPictures, "CommonPictures", true, "C:\\Users\\Public\\Pictures",
     "C:\\Windows\\All Users\\Documents\\My Pictures"},
    {csidl::kCommonVideo, "CommonVideo", true, "C:\\Users\\Public\\Videos", "C:\\Windows\\All Users\\Documents\\My Videos"},
    {csidl::kCommonTemplates, "Common Templates", true, "C:\\ProgramData\\Microsoft\\Windows\\Templates",
     "C:\\Windows\\All Users\\Templates"},
    {csidl::kCommonStartMenu, "Common Start Menu", true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu",
     "C:\\Windows\\All Users\\Start Menu"},
    {csidl::kCommonPrograms, "Common Programs", true,
     "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\Windows\\All Users\\Start Menu\\Programs"},
    {csidl::kCommonStartup, "Common Startup", true,
     "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
     "C:\\Windows\\All Users\\Start Menu\\Programs\\StartUp"},
    {csidl::kCommonAdminTools, "Common Administrative Tools", true,
     "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools",
     "C:\\Windows\\All Users\\Start Menu\\Programs\\Administrative Tools"},
};

std::string Expand(const char* tmpl, const Profile& p) {
  return IncludeTrailingBackslash(base::ReplaceAll(tmpl, "%U%", p.userName));
}

// Folders that depend on the 32-bit / 64-bit view.
std::string ViewFolder(const Profile& p, int id, FolderView view) {
  const bool x86 = p.is64Bit && (view == FolderView::Process32 || id == csidl::kProgramFilesX86 ||
                                 id == csidl::kProgramFilesCommonX86 || id == csidl::kSystemX86);
  switch (id) {
    case csidl::kProgramFiles:
    case csidl::kProgramFilesX86:
      return x86 ? "C:\\Program Files (x86)\\" : "C:\\Program Files\\";
    case csidl::kProgramFilesCommon:
    case csidl::kProgramFilesCommonX86:
      return x86 ? "C:\\Program Files (x86)\\Common Files\\" : "C:\\Program Files\\Common Files\\";
    case csidl::kSystem:
    case csidl::kSystemX86:
      if (!p.IsNT()) return "C:\\Windows\\System\\";
      return x86 ? "C:\\Windows\\SysWOW64\\" : "C:\\Windows\\System32\\";
    default:
      return {};
  }
}

}  // namespace

std::string ShellFolderText(const Profile& p, int id, FolderView view) {
  if (std::string v = ViewFolder(p, id, view); !v.empty()) return v;
  for (const Row& r : kRows)
    if (r.csidl == id) return Expand(p.IsNT() ? r.nt : r.w9x, p);
  return {};
}

std::string ShellFolderPath(const Machine& m, int id, FolderView view) {
  std::string w = ShellFolderText(m.profile(), id, view);
  if (!w.empty()) m.ForceFolder(w);
  return w;
}

std::string ShellFolderByName(const Machine& m, std::string_view name, FolderView view) {
  // Folders that have no "Shell Folders" value, by the names of their registry values.
  static const std::pair<const char*, int> extra[] = {
      {"ProgramFilesDir", csidl::kProgramFiles},      {"Program Files", csidl::kProgramFiles},
      {"CommonFilesDir", csidl::kProgramFilesCommon}, {"Common Files", csidl::kProgramFilesCommon},
      {"System", csidl::kSystem},                     {"Windows", csidl::kWindows},
      {"Profile", csidl::kProfile},                   {"Profiles", csidl::kProfiles},
  };
  for (const auto& [n, id] : extra)
    if (base::SameText(n, name)) return ShellFolderPath(m, id, view);
  for (const Row& r : kRows)
    if (r.name && base::SameText(r.name, name)) return ShellFolderPath(m, r.csidl, view);
  return {};
}

int CommonCounterpart(int id) {
  static const std::pair<int, int> pairs[] = {
      {csidl::kDesktop, csidl::kCommonDesktopDirectory},   {csidl::kDesktopDirectory, csidl::kCommonDesktopDirectory},
      {csidl::kPersonal, csidl::kCommonDocuments},         {csidl::kFavorites, csidl::kCommonFavorites},
      {csidl::kMyMusic, csidl::kCommonMusic},              {csidl::kMyPictures, csidl::kCommonPictures},
      {csidl::kMyVideo, csidl::kCommonVideo},              {csidl::kAdminTools, csidl::kCommonAdminTools},
      {csidl::kStartMenu, csidl::kCommonStartMenu},        {csidl::kStartup, csidl::kCommonStartup},
      {csidl::kPrograms, csidl::kCommonPrograms},          {csidl::kAppData, csidl::kCommonAppData},
      {csidl::kTemplates, csidl::kCommonTemplates},        {csidl::kProfile, csidl::kProfiles},
  };
  for (const auto& [user, common] : pairs)
    if (user == id) return common;
  return id;
}

std::string ShellFolderFor(const Machine& m, int id, bool allUsers, FolderView view) {
  return ShellFolderPath(m, allUsers ? CommonCounterpart(id) : id, view);
}

const std::vector<ShellFolderEntry>& ShellFolderTable() {
  static const std::vector<ShellFolderEntry> table = [] {
    std::vector<ShellFolderEntry> t;
    for (const Row& r : kRows) t.push_back({r.csidl, r.name, r.common});
    return t;
  }();
  return table;
}

std::vector<std::string> FreshFolders(const Profile& p) {
  std::vector<std::string> out;
  auto add = [&](std::string s) {
    for (const std::string& o : out)
      if (base::SameText(o, s)) return;
    out.push_back(std::move(s));
  };
  add("C:\\Windows\\");
  add("C:\\Windows\\Temp\\");
  add(ShellFolderText(p, csidl::kSystem, FolderView::Native));
  add(ShellFolderText(p, csidl::kSystemX86, FolderView::Native));
  add(ShellFolderText(p, csidl::kProgramFiles, FolderView::Native));
  add(ShellFolderText(p, csidl::kProgramFilesCommon, FolderView::Native));
  add(ShellFolderText(p, csidl::kProgramFilesX86, FolderView::Native));
  add(ShellFolderText(p, csidl::kProgramFilesCommonX86, FolderView::Native));
  if (p.IsNT()) add("C:\\Users\\Public\\");
  for (const Row& r : kRows) add(Expand(p.IsNT() ? r.nt : r.w9x, p));
  if (p.IsNT())
    add(Expand("C:\\Users\\%U%\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch", p));
  return out;
}

}  // namespace machine
