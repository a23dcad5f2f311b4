#include "platform/machine/machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"
#include "platform/machine/registry.h"
#include "platform/machine/shell_folders.h"
#include "platform/machine/winpath.h"

namespace machine {
namespace {

// --- profile keys: one table, read and written the same way ----------------

enum class Kind { Text, Int, Bool, Char, Int64 };
struct Key {
  const char* section;
  const char* name;
  Kind kind;
  void* (*field)(Profile&);
};

#define FIELD(f) [](Profile& p) -> void* { return &p.f; }
const Key kKeys[] = {
    {"Windows", "Family", Kind::Text, FIELD(family)},
    {"Windows", "VersionMajor", Kind::Int, FIELD(versionMajor)},
    {"Windows", "VersionMinor", Kind::Int, FIELD(versionMinor)},
    {"Windows", "Build", Kind::Int, FIELD(build)},
    {"Windows", "ServicePack", Kind::Text, FIELD(servicePack)},
    {"Windows", "Server", Kind::Bool, FIELD(isServer)},
    {"Windows", "Is64Bit", Kind::Bool, FIELD(is64Bit)},
    {"Windows", "Edition", Kind::Text, FIELD(edition)},
    {"Windows", "LanguageId", Kind::Int, FIELD(languageId)},
    {"User", "UserName", Kind::Text, FIELD(userName)},
    {"User", "Domain", Kind::Text, FIELD(domain)},
    {"User", "ComputerName", Kind::Text, FIELD(computerName)},
    {"User", "Administrator", Kind::Bool, FIELD(isAdmin)},
    {"User", "Elevated", Kind::Bool, FIELD(isElevated)},
    {"User", "Group", Kind::Text, FIELD(userGroup)},
    {"User", "RegisteredOwner", Kind::Text, FIELD(registeredOwner)},
    {"User", "RegisteredOrganization", Kind::Text, FIELD(registeredOrganization)},
    {"Hardware", "MemoryMB", Kind::Int64, FIELD(memoryMB)},
    {"Hardware", "ScreenWidth", Kind::Int, FIELD(screenWidth)},
    {"Hardware", "ScreenHeight", Kind::Int, FIELD(screenHeight)},
    {"Hardware", "ColorDepth", Kind::Int, FIELD(colorDepth)},
    {"Hardware", "PixelsPerInch", Kind::Int, FIELD(pixelsPerInch)},
    {"Hardware", "VirtualMachine", Kind::Text, FIELD(virtualMachine)},
    {"Locale", "ShortDateFormat", Kind::Text, FIELD(shortDateFormat)},
    {"Locale", "LongTimeFormat", Kind::Text, FIELD(longTimeFormat)},
    {"Locale", "DateSeparator", Kind::Char, FIELD(dateSeparator)},
    {"Locale", "TimeSeparator", Kind::Char, FIELD(timeSeparator)},
    {"Locale", "DecimalSeparator", Kind::Char, FIELD(decimalSeparator)},
    {"Locale", "ThousandSeparator", Kind::Char, FIELD(thousandSeparator)},
};
#undef FIELD

// A name usable as a Windows folder name: no separators, colons or other
// characters Windows forbids in names.
std::string SafeName(std::string_view s, std::string_view fallback) {
  std::string r;
  for (char c : s)
    if (std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos &&
        static_cast<unsigned char>(c) >= 0x20)
      r += c;
  r = base::Trim(r);
  while (!r.empty() && r.back() == '.') r.pop_back();
  return r.empty() || r == "." || r == ".." ? std::string(fallback) : r;
}

std::string HostUserName() {
  if (const char* u = std::getenv("USER"); u && *u) return u;
  if (passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  return "User";
}

std::string HostComputerName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0 || !buf[0]) return "SETUP-PC";
  std::string n = base::UpperCase(SafeName(buf, "SETUP-PC"));
  if (std::size_t dot = n.find('.'); dot != std::string::npos && dot > 0) n.resize(dot);
  if (n.size() > 15) n.resize(15);
  return n;
}

long long HostMemoryMB() {
  long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || size <= 0) return 2048;
  return static_cast<long long>(pages) * size / (1024 * 1024);
}

std::string CurrentDir() {
  char buf[4096];
  if (getcwd(buf, sizeof buf)) return buf;
  return "/";
}

// Splits at both separators and resolves "." and "..".  ".." at the top is
// dropped: a path never climbs above the root it started at.
std::vector<std::string> NormalComponents(std::string_view rest) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= rest.size()) {
    std::size_t j = i;
    while (j < rest.size() && !IsPathDelimiter(rest[j])) ++j;
    std::string_view c = rest.substr(i, j - i);
    if (c == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!c.empty() && c != ".") {
      parts.emplace_back(c);
    }
    i = j + 1;
  }
  return parts;
}

// The entry of folder `dir` named `name`: the exact name when it exists,
// else an existing entry whose name matches without regard to case (the
// first in sorted order, so the choice is stable), else `name` itself.
std::string ResolveName(const std::string& dir, const std::string& name) {
  std::string exact = dir == "/" ? "/" + name : dir + "/" + name;
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return name;
  DIR* d = opendir(dir.c_str());
  if (!d) return name;
  std::string best;
  while (dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (base::SameText(n, name) && (best.empty() || n < best)) best = std::string(n);
  }
  closedir(d);
  return best.empty() ? name : best;
}

std::string Join(const std::string& base, const std::vector<std::string>& parts, bool foldCase) {
  std::string path = base;
  for (const std::string& p : parts) {
    std::string n = foldCase ? ResolveName(path, p) : p;
    path = path == "/" ? "/" + n : path + "/" + n;
  }
  return path;
}

// Creates `path` only if no file of that name exists yet (write a temporary
// file, then link it into place; link never replaces an existing file).
void CreateIfAbsent(const std::string& path, std::string_view bytes) {
  if (base::FileExists(path)) return;
  std::string tmp = path + ".new." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && fsync(fd) == 0;
  close(fd);
  if (ok) (void)link(tmp.c_str(), path.c_str());
  unlink(tmp.c_str());
}

std::string ProfileText(const Profile& p) {
  base::TMemIniFile ini("");
  for (const Key& k : kKeys) {
    void* f = k.field(const_cast<Profile&>(p));
    switch (k.kind) {
      case Kind::Text: ini.WriteString(k.section, k.name, *static_cast<std::string*>(f)); break;
      case Kind::Int: ini.WriteInteger(k.section, k.name, *static_cast<int*>(f)); break;
      case Kind::Int64: ini.WriteInteger(k.section, k.name, *static_cast<long long*>(f)); break;
      case Kind::Bool: ini.WriteBool(k.section, k.name, *static_cast<bool*>(f)); break;
      case Kind::Char: ini.WriteString(k.section, k.name, std::string(1, *static_cast<char*>(f))); break;
    }
  }
  return base::Utf8ToCp1252(ini.Text());
}

thread_local bool tRedirect = true;

// C:\Windows\System32\<rest> -> C:\Windows\SysWOW64\<rest> for a 32-bit program.
// Whether Windows\System32\<rest> is redirected (the shared folders are not).
bool Redirected(const std::vector<std::string>& parts, std::size_t at) {
  if (parts.size() < at + 2 || !base::SameText(parts[at], "Windows") || !base::SameText(parts[at + 1], "System32"))
    return false;
  if (parts.size() >= at + 3) {
    for (const char* shared : {"catroot", "catroot2", "LogFiles", "spool"})
      if (base::SameText(parts[at + 2], shared)) return false;
    if (parts.size() >= at + 4 && base::SameText(parts[at + 2], "drivers") && base::SameText(parts[at + 3], "etc"))
      return false;
  }
  return true;
}

// C:\Windows\System32\<rest> -> C:\Windows\SysWOW64\<rest> for a 32-bit
// program; C:\Windows\Sysnative is its way to the real System32.
void RedirectSystem32(std::vector<std::string>& parts) {
  if (parts.size() >= 2 && base::SameText(parts[0], "Windows") && base::SameText(parts[1], "Sysnative"))
    parts[1] = "System32";
  else if (Redirected(parts, 0))
    parts[1] = "SysWOW64";
}

std::mutex gCurrentMutex;
std::unique_ptr<Machine> gCurrent;

}  // namespace

// --- Profile ---------------------------------------------------------------

bool Profile::IsNT() const { return !base::SameText(family, "9x"); }

int Profile::ServicePackLevel() const {
  for (int n = 10; n >= 1; --n)
    if (servicePack.find(std::to_string(n)) != std::string::npos) return n;
  return 0;
}

Profile LoadProfile(const std::string& path, const Profile& defaults) {
  Profile p = defaults;
  base::TMemIniFile ini(path);
  for (const Key& k : kKeys) {
    if (!ini.ValueExists(k.section, k.name)) continue;
    void* f = k.field(p);
    switch (k.kind) {
      case Kind::Text: *static_cast<std::string*>(f) = ini.ReadString(k.section, k.name, ""); break;
      case Kind::Int:
        *static_cast<int*>(f) = static_cast<int>(ini.ReadInteger(k.section, k.name, *static_cast<int*>(f)));
        break;
      case Kind::Int64:
        *static_cast<long long*>(f) = ini.ReadInteger(k.section, k.name, *static_cast<long long*>(f));
        break;
      case Kind::Bool: *static_cast<bool*>(f) = ini.ReadBool(k.section, k.name, *static_cast<bool*>(f)); break;
      case Kind::Char: {
        std::string v = ini.ReadString(k.section, k.name, "");
        if (!v.empty()) *static_cast<char*>(f) = v[0];
        break;
      }
    }
  }
  p.family = p.IsNT() ? "NT" : "9x";
  p.userName = SafeName(p.userName, "User");
  return p;
}

bool SaveProfile(const std::string& path, const Profile& p) {
  return base::WriteFileAtomic(path, ProfileText(p));
}

Profile FreshProfile() {
  Profile p;
  p.userName = SafeName(HostUserName(), "User");
  p.computerName = HostComputerName();
  p.domain = p.computerName;
  p.registeredOwner = p.userName;
  p.memoryMB = HostMemoryMB();
  return p;
}

void ApplyFormatSettings(const Profile& p) {
  base::TFormatSettings& fs = base::DefaultFormatSettings();
  fs.shortDateFormat = p.shortDateFormat;
  fs.longTimeFormat = p.longTimeFormat;
  fs.dateSeparator = p.dateSeparator;
  fs.timeSeparator = p.timeSeparator;
  fs.decimalSeparator = p.decimalSeparator;
  fs.thousandSeparator = p.thousandSeparator;
}

// --- Machine ---------------------------------------------------------------

std::string Machine::DefaultRoot() {
  if (const char* m = std::getenv("SETUPENGINE_MACHINE"); m && *m) return m;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/setupengine/machine";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    passwd* pw = getpwuid(getuid());
    home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
  }
  return std::string(home) + "/.local/share/setupengine/machine";
}

Machine& Machine::Current() {
  std::lock_guard<std::mutex> lock(gCurrentMutex);
  if (!gCurrent) gCurrent = std::make_unique<Machine>(DefaultRoot());
  return *gCurrent;
}

void Machine::ResetCurrent() {
  std::lock_guard<std::mutex> lock(gCurrentMutex);
  gCurrent.reset();
}

Machine::Machine(std::string rootHostPath) {
  std::string abs = rootHostPath.empty() || rootHostPath[0] != '/' ? CurrentDir() + "/" + rootHostPath
                                                                    : rootHostPath;
  root_ = Join("/", NormalComponents(abs), false);
  driveC_ = root_ == "/" ? "/drive_c" : root_ + "/drive_c";
  base::ForceDirectories(root_);
  CreateIfAbsent(ProfilePath(), ProfileText(FreshProfile()));
  profile_ = LoadProfile(ProfilePath(), FreshProfile());
  registry_ = std::make_unique<Registry>(*this);
  EnsureFreshTree();
}

Machine::~Machine() = default;

std::string Machine::ProfilePath() const { return root_ + "/profile.ini"; }

void Machine::ReloadProfile() {
  profile_ = LoadProfile(ProfilePath(), FreshProfile());
  EnsureFreshTree();
}

bool Machine::SetProfile(const Profile& p) {
  bool ok = SaveProfile(ProfilePath(), p);
  ReloadProfile();
  return ok;
}

void Machine::EnsureFreshTree() {
  base::ForceDirectories(driveC_);
  bool redirect = SetFileSystemRedirection(false);  // the tree is the native one
  for (const std::string& f : FreshFolders(profile_)) ForceFolder(f);
  SetFileSystemRedirection(redirect);
  registry_->EnsureHives();
}

bool Machine::ForceFolder(std::string_view windowsPath) const {
  std::string host = ToHost(windowsPath);
  return !host.empty() && base::ForceDirectories(host);
}

std::string Machine::ToHost(std::string_view in) const {
  if (in.empty() || in.find('\0') != std::string_view::npos) return {};
  std::string s(in);
  // Long-path prefixes: "\\?\C:\x" is "C:\x", "\\?\UNC\srv\share" is "\\srv\share".
  if (s.size() >= 4 && IsPathDelimiter(s[0]) && IsPathDelimiter(s[1]) && s[2] == '?' && IsPathDelimiter(s[3])) {
    s.erase(0, 4);
    if (s.size() >= 4 && base::StartsText("UNC", s) && IsPathDelimiter(s[3])) s = "\\" + s.substr(3);
  }
  if (s.size() >= 2 && IsPathDelimiter(s[0]) && IsPathDelimiter(s[1])) return {};  // UNC, device
  if (char d = DriveLetter(s)) {
    std::vector<std::string> parts = NormalComponents(std::string_view(s).substr(2));
    if (d == 'C') {
      if (tRedirect && profile_.is64Bit && profile_.IsNT()) RedirectSystem32(parts);
      return Join(driveC_, parts, true);
    }
    if (d == 'Z') return Join("/", parts, true);
    return {};
  }
  if (s[0] == '/') return Join("/", NormalComponents(s), false);
  if (s[0] == '\\') return ToHost("C:" + s);  // root of the current drive C:
  return Join("/", NormalComponents(CurrentDir() + "/" + s), false);  // relative to the working folder
}

std::string Machine::ToWindows(std::string_view in) const {
  if (in.empty()) return {};
  std::string out;
  const bool trailing = IsPathDelimiter(in.back());
  auto build = [&](const char* drive, const std::vector<std::string>& parts, std::size_t skip) {
    out = drive;
    for (std::size_t i = skip; i < parts.size(); ++i) {
      if (i > skip) out += '\\';
      out += parts[i];
    }
    if (trailing && parts.size() > skip) out += '\\';
  };
  if (IsUncPath(in)) {
    out = "\\\\";
    std::vector<std::string> parts = NormalComponents(in.substr(2));
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
    if (trailing) out += '\\';
    return out;
  }
  if (char d = DriveLetter(in)) {
    std::string drive = std::string(1, d) + ":\\";
    build(drive.c_str(), NormalComponents(in.substr(2)), 0);
    return out;
  }
  if (in[0] == '\\') {
    build("C:\\", NormalComponents(in), 0);
    return out;
  }
  std::string abs = in[0] == '/' ? std::string(in) : CurrentDir() + "/" + std::string(in);
  std::vector<std::string> parts = NormalComponents(abs);
  std::vector<std::string> c = NormalComponents(driveC_);
  bool underC = parts.size() >= c.size();
  for (std::size_t i = 0; underC && i < c.size(); ++i) underC = parts[i] == c[i];
  if (underC) {
    // What a redirected program must call the real System32.
    if (tRedirect && profile_.is64Bit && profile_.IsNT() && Redirected(parts, c.size()))
      parts[c.size() + 1] = "Sysnative";
    build("C:\\", parts, c.size());
  }
  else
    build("Z:\\", parts, 0);
  return out;
}

bool Machine::SetFileSystemRedirection(bool on) {
  bool old = tRedirect;
  tRedirect = on;
  return old;
}

bool Machine::FileSystemRedirection() { return tRedirect; }

std::string Machine::TempPath() const {
  const char* t = std::getenv("TMPDIR");
  std::string host = t && *t ? t : "/tmp";
  base::ForceDirectories(host);
  return IncludeTrailingBackslash(ToWindows(host));
}

std::string Machine::RebootLogPath() const { return root_ + "/reboot.log"; }

void Machine::RequestReboot(std::string_view why) {
  std::string line = base::FormatDateTime("yyyy-mm-dd hh:nn:ss", base::Now()) + "\t";
  for (char c : why) line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  line += '\n';
  // One append of one line: concurrent requests never interleave within a line.
  int fd = open(RebootLogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!write(fd, line.data(), line.size());
  fsync(fd);
  close(fd);
}

std::vector<std::string> Machine::RebootRequests() const {
  std::vector<std::string> out;
  auto bytes = base::ReadFileBytes(RebootLogPath());
  if (!bytes) return out;
  for (const std::string& l : base::SplitLines(*bytes)) {
    std::size_t tab = l.find('\t');
    out.push_back(tab == std::string::npos ? l : l.substr(tab + 1));
  }
  return out;
}

std::string Machine::EnvironmentVariable(std::string_view name) const {
  const Profile& p = profile_;
  auto folder = [&](int id) { return ExcludeTrailingBackslash(ShellFolderText(p, id)); };
  const std::string profileDir = folder(csidl::kProfile);
  struct { const char* name; std::string value; } fixed[] = {
      {"SystemRoot", "C:\\Windows"},
      {"windir", "C:\\Windows"},
      {"SystemDrive", "C:"},
      {"ProgramFiles", folder(csidl::kProgramFiles)},
      {"ProgramFiles(x86)", p.is64Bit ? "C:\\Program Files (x86)" : ""},
      {"ProgramW6432", p.is64Bit ? "C:\\Program Files" : ""},
      {"CommonProgramFiles", folder(csidl::kProgramFilesCommon)},
      {"ProgramData", p.IsNT() ? folder(csidl::kCommonAppData) : ""},
      {"ALLUSERSPROFILE", p.IsNT() ? folder(csidl::kCommonAppData) : ""},
      {"PUBLIC", p.IsNT() ? "C:\\Users\\Public" : ""},
      {"USERPROFILE", p.IsNT() ? profileDir : ""},
      {"HOMEDRIVE", p.IsNT() ? "C:" : ""},
      {"HOMEPATH", p.IsNT() ? profileDir.substr(2) : ""},
      {"APPDATA", folder(csidl::kAppData)},
      {"LOCALAPPDATA", p.IsNT() ? folder(csidl::kLocalAppData) : ""},
      {"TEMP", ExcludeTrailingBackslash(TempPath())},
      {"TMP", ExcludeTrailingBackslash(TempPath())},
      {"USERNAME", p.userName},
      {"USERDOMAIN", p.IsNT() ? p.domain : ""},
      {"COMPUTERNAME", p.computerName},
      {"OS", p.IsNT() ? "Windows_NT" : ""},
      {"PROCESSOR_ARCHITECTURE", p.is64Bit ? "AMD64" : "x86"},
  };
  for (const auto& f : fixed)
    if (base::SameText(name, f.name)) return f.value;
  // Values kept in the registry (the user's win); not expanded further.
  std::string v = registry_->ReadString(RegRoot::CurrentUser, "Environment", name);
  if (v.empty())
    v = registry_->ReadString(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              name);
  return v;
}

std::string Machine::ExpandEnvironmentStrings(std::string_view text) const {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    std::string_view name = text.substr(open + 1, close - open - 1);
    std::string value = name.empty() ? std::string() : EnvironmentVariable(name);
    if (name.empty() || value.empty()) {
      // Unknown: keep the text; its closing '%' may open the next reference.
      out.append(text.substr(open, close - open));
      i = close;
      continue;
    }
    out += value;
    i = close + 1;
  }
  out.append(text.substr(std::min(i, text.size())));
  return out;
}

bool Machine::DiskSpace(std::string_view path, unsigned long long& freeForUser, unsigned long long& total) const {
  std::string host = ToHost(path);
  if (host.empty()) return false;
  // The nearest existing folder holds the path (a target folder may not exist yet).
  struct statvfs st;
  while (statvfs(host.c_str(), &st) != 0) {
    if (host == "/" || host.empty()) return false;
    std::size_t slash = host.rfind('/');
    host = slash == 0 ? "/" : host.substr(0, slash);
  }
  freeForUser = static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
  total = static_cast<unsigned long long>(st.f_blocks) * st.f_frsize;
  return true;
}

void Machine::ApplyFormatSettings() const { machine::ApplyFormatSettings(profile_); }

}  // namespace machine
