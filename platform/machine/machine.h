// The Windows-like machine the setup engine installs onto.
//
// All machine state lives under one host folder, the machine folder:
//
//   profile.ini        the facts a setup asks about (OS family, version,
//                      rights, user, memory, screen, formats); tests edit it
//                      to play other machines
//   drive_c/           drive C: (Windows, Program Files, ProgramData, Users)
//   registry/          the registry hives as REGEDIT4 text (registry.h)
//   installer/         product records of the installer service
//   reboot.log         one line per reboot request; the host is never rebooted
//
// Drives: C: is <machine>/drive_c, Z: is the host root "/", so every host
// path is reachable as Z:\...  No other drive letter maps anywhere.
//
// Invariants:
//  1. ToHost is the only place that turns a Windows-form path into a host
//     path.  It accepts Windows-form paths ("C:\..", "Z:\..", "\.." on C:)
//     and host paths ("/tmp/x"), and never leaves the drive it starts on:
//     ".." at a drive root stays at the root, as on Windows.
//  2. Windows names are case-insensitive: ToHost resolves each name on C:
//     and Z: to an existing entry of another case when the exact one does
//     not exist, so "C:\WINDOWS\system32" is <machine>/drive_c/Windows/System32.
//  3. Opening a machine folder never destroys state: a missing folder or file
//     is created as on a fresh machine, an existing one is left as it is.
//  4. Nothing here reboots, shuts down or reconfigures the host.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace machine {

class Registry;
class InstallerService;

// The machine profile (profile.ini).  Defaults are those of a fresh machine:
// 64-bit Windows NT 6.1 SP1 workstation, the user an administrator.
struct Profile {
  std::string family = "NT";            // "NT" or "9x"
  int versionMajor = 6;
  int versionMinor = 1;
  int build = 7601;
  std::string servicePack = "Service Pack 1";  // the system's service-pack text
  bool isServer = false;                // product type other than workstation
  bool is64Bit = true;
  std::string edition;                  // "", "Tablet PC" or "Media Center"
  std::string virtualMachine;           // "", "VMware" or "Virtual PC": the host it runs in
  bool isAdmin = true;                  // member of Administrators
  bool isElevated = true;               // the process token reports elevation
  std::string userGroup = "";           // "ADMIN", "POWER", "USER", "GUEST"; empty: from isAdmin
  std::string userName;                 // fresh machine: the host user
  std::string domain;                   // fresh machine: the computer name
  std::string computerName;             // at most 15 characters
  std::string registeredOwner;          // fresh machine: the user name
  std::string registeredOrganization;
  long long memoryMB = 0;               // total physical memory; fresh: the host's
  int screenWidth = 1920;
  int screenHeight = 1080;
  int colorDepth = 32;                  // bits per pixel
  int pixelsPerInch = 96;
  int languageId = 1033;                // system language identifier
  // The "system" formats (class-library format strings).
  std::string shortDateFormat = "M/d/yyyy";
  std::string longTimeFormat = "h:mm:ss AMPM";
  char dateSeparator = '/';
  char timeSeparator = ':';
  char decimalSeparator = '.';
  char thousandSeparator = ',';

  bool IsNT() const;
  // The first group of Administrators, Power Users, Users, Guests the user is in:
  // userGroup when set, else "ADMIN" or "USER" from isAdmin.
  std::string Group() const { return !userGroup.empty() ? userGroup : isAdmin ? "ADMIN" : "USER"; }
  // "AMD64" on a 64-bit profile, else "X86".
  std::string Architecture() const { return is64Bit ? "AMD64" : "X86"; }
  // The largest n from 10 down to 1 whose decimal text occurs in servicePack, else 0.
  int ServicePackLevel() const;
};

// Reads a profile INI; missing keys keep the defaults of `defaults`.
Profile LoadProfile(const std::string& iniHostPath, const Profile& defaults = Profile{});
// Writes every key of the profile (atomically); false on failure.
bool SaveProfile(const std::string& iniHostPath, const Profile& profile);
// The profile a fresh machine gets on this host (host user, host memory).
Profile FreshProfile();
// Sets base::DefaultFormatSettings() from the profile's formats.
void ApplyFormatSettings(const Profile& profile);

class Machine {
 public:
  // The process's machine: SETUPENGINE_MACHINE, else
  // $XDG_DATA_HOME/setupengine/machine, else ~/.local/share/setupengine/machine.
  static Machine& Current();
  // Forgets the process's machine so that the next Current() opens it again
  // (tests that point SETUPENGINE_MACHINE somewhere else).
  static void ResetCurrent();
  // The host folder Current() opens.
  static std::string DefaultRoot();

  // Opens the machine folder, creating what is missing as on a fresh machine.
  explicit Machine(std::string rootHostPath);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  const std::string& Root() const { return root_; }
  const std::string& DriveC() const { return driveC_; }  // host folder of C:
  std::string ProfilePath() const;
  const Profile& profile() const { return profile_; }
  // Reads profile.ini again (after a test edited it).
  void ReloadProfile();
  // Replaces the profile and writes profile.ini; creates the new user's folders.
  bool SetProfile(const Profile& p);

  // Windows-form path or host path -> host path; empty if it maps nowhere
  // (another drive letter, a UNC path, a device path).
  std::string ToHost(std::string_view path) const;
  // File-system redirection of a 32-bit program on a 64-bit machine, per
  // thread as on Windows: while it is on (the default), C:\Windows\System32
  // and its contents map to C:\Windows\SysWOW64, except the folders Windows
  // keeps shared (catroot, catroot2, drivers\etc, LogFiles, spool).  It has
  // no effect on a 32-bit profile.  Returns the previous setting.
  static bool SetFileSystemRedirection(bool on);
  static bool FileSystemRedirection();

  // Host path -> "C:\..." under drive_c, else "Z:\..."; a Windows-form input is
  // returned normalised.  A trailing separator of the input is kept.
  std::string ToWindows(std::string_view hostPath) const;
  // $TMPDIR (else /tmp) in Windows form with a trailing backslash; created if missing.
  std::string TempPath() const;

  // The machine's environment as a Windows program sees it: SystemRoot,
  // windir, SystemDrive, ProgramFiles, CommonProgramFiles, ProgramData,
  // ALLUSERSPROFILE, PUBLIC, USERPROFILE, HOMEDRIVE, HOMEPATH, APPDATA,
  // LOCALAPPDATA, TEMP, TMP, USERNAME, USERDOMAIN, COMPUTERNAME, OS,
  // PROCESSOR_ARCHITECTURE, then the registry's Environment values (the
  // user's over the machine's).  Host variables are not part of it.
  // Names compare without regard to case; empty when unknown.
  std::string EnvironmentVariable(std::string_view name) const;
  // Replaces %NAME% references by EnvironmentVariable; unknown references
  // stay as written, as on Windows.  Nested references are not expanded again.
  std::string ExpandEnvironmentStrings(std::string_view text) const;

  // Bytes free for the user and total size of the host file system holding
  // the path (Windows form or host; a path that does not exist yet is taken
  // from its nearest existing parent); false when the path maps nowhere.
  bool DiskSpace(std::string_view path, unsigned long long& freeForUser, unsigned long long& total) const;

  bool IsAdmin() const { return profile_.isAdmin; }
  bool IsNT() const { return profile_.IsNT(); }
  bool Is64Bit() const { return profile_.is64Bit; }

  // Records a reboot request in the machine folder (reboot.log).  The host is
  // never rebooted.
  void RequestReboot(std::string_view why);
  // The reasons recorded so far, oldest first.
  std::vector<std::string> RebootRequests() const;
  std::string RebootLogPath() const;

  // Sets base::DefaultFormatSettings() from this machine's profile.
  void ApplyFormatSettings() const;

  // The registry as the profile's user sees it (registry.h).
  Registry& registry() const { return *registry_; }

  // Creates the host folder of a Windows-form folder path (and its parents).
  bool ForceFolder(std::string_view windowsPath) const;

 private:
  void EnsureFreshTree();

  std::string root_;
  std::string driveC_;
  Profile profile_;
  std::unique_ptr<Registry> registry_;
};

}  // namespace machine
