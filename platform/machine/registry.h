// The machine's registry: hives kept as REGEDIT4 text in the machine folder.
//
//   registry/HKLM.reg           HKEY_LOCAL_MACHINE
//   registry/users/<user>.reg   HKEY_CURRENT_USER of each user (HKEY_USERS\<user>)
//   registry/*.lock             one lock file per hive
//
// Views.  HKEY_CLASSES_ROOT is the merged view of HKCU\Software\Classes over
// HKLM\SOFTWARE\Classes (a key present for the user hides the machine's
// key; writes go to the user's key when it exists, else to the machine's,
// else, without the rights for that, to the user's).  HKEY_CURRENT_CONFIG
// is HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current.  On a 64-bit
// profile HKLM\SOFTWARE\<x> has a 32-bit view under
// HKLM\SOFTWARE\WOW6432Node\<x> (SOFTWARE\Classes is shared by both views);
// the access flag 256 (kWow64_64Key) selects the 64-bit view, 512
// (kWow64_32Key) the 32-bit one.  Without either flag the caller is taken to
// be the 32-bit engine, so it sees the 32-bit view, as on Windows.
//
// Invariants:
//  1. Every change is one read-modify-write of the hive file under an
//     exclusive lock of its lock file, written atomically (temporary file,
//     flush, rename): another process's change is re-read before ours is
//     applied, so two writers never lose each other's values, and a crash
//     leaves the old or the new file, never half of one.
//  2. A hive file that does not parse (edited by hand) is never rewritten:
//     reads see what could be read of it, writes fail with kRegBadHive and
//     the file stays byte for byte as it was.  The problem is reported once
//     per process and file through the diagnostics sink.
//  3. Without administrator rights on an NT-family profile, HKLM cannot be
//     written (kRegAccessDenied); the user's own hive always can.
//  4. Text is UTF-8 inside.  On disk a line is Windows-1252 when it converts
//     there and back unchanged, otherwise UTF-8 (reading tells the two apart:
//     a line that is valid UTF-8 with bytes above 0x7F is UTF-8, because
//     Windows-1252 lines of that shape are always written as UTF-8).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace machine {

class Machine;

enum class RegRoot : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  CurrentConfig = 0x80000005u,
};

// Access flags that matter here (other bits are ignored).
constexpr unsigned kWow64_64Key = 0x100;
constexpr unsigned kWow64_32Key = 0x200;

// Result codes as the registry functions of Windows return them.
using RegResult = long;
constexpr RegResult kRegOk = 0;
constexpr RegResult kRegNotFound = 2;        // key or value missing
constexpr RegResult kRegAccessDenied = 5;
constexpr RegResult kRegInvalidParameter = 87;
constexpr RegResult kRegBadHive = 1009;      // hive file malformed: left as it is
constexpr RegResult kRegIoFailed = 1016;     // hive could not be read or written

enum class RegType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  DWord = 4,
  MultiString = 7,
  QWord = 11,
};

struct RegValue {
  RegType type = RegType::String;
  std::string text;                  // String, ExpandString
  std::vector<std::string> strings;  // MultiString
  std::uint64_t number = 0;          // DWord, QWord
  std::string bytes;                 // Binary and any other type

  static RegValue String(std::string s) { RegValue v; v.text = std::move(s); return v; }
  static RegValue ExpandString(std::string s) {
    RegValue v; v.type = RegType::ExpandString; v.text = std::move(s); return v;
  }
  static RegValue MultiString(std::vector<std::string> s) {
    RegValue v; v.type = RegType::MultiString; v.strings = std::move(s); return v;
  }
  static RegValue DWord(std::uint32_t n) { RegValue v; v.type = RegType::DWord; v.number = n; return v; }
  static RegValue QWord(std::uint64_t n) { RegValue v; v.type = RegType::QWord; v.number = n; return v; }
  static RegValue Binary(std::string b) { RegValue v; v.type = RegType::Binary; v.bytes = std::move(b); return v; }
  static RegValue Raw(std::uint32_t type, std::string b) {
    RegValue v; v.type = static_cast<RegType>(type); v.bytes = std::move(b); return v;
  }

  // The value as text: strings as they are, numbers in decimal, a
  // multi-string joined with CR LF, binary data as hex pairs.
  std::string AsText() const;
  bool operator==(const RegValue& o) const;
};

// "HKEY_LOCAL_MACHINE", "HKLM", ... (any case).
std::optional<RegRoot> ParseRegRoot(std::string_view name);
const char* RegRootName(RegRoot root);  // "HKEY_LOCAL_MACHINE", ...
// "HKLM\SOFTWARE\X" -> (LocalMachine, "SOFTWARE\X").
bool SplitRegPath(std::string_view full, RegRoot& root, std::string& subkey);

// Where problems with hive files are reported (the engine's trace log).
// Reports made before a sink is set are kept and handed to it when it is.
void SetRegistryDiagnostics(std::function<void(const std::string&)> sink);

// Hive text as the registry reads it: whether it is malformed (and the first
// bad line), and the text the registry would write for what it read.
struct HiveCheck {
  bool malformed = false;
  int badLine = 0;
  std::size_t keys = 0;
  std::string normalized;
};
HiveCheck CheckHiveText(std::string_view bytes, const std::string& rootName);

class Registry {
 public:
  // systemRights: the caller may write HKLM whatever the profile says
  // (the installer service).
  explicit Registry(const Machine& m, bool systemRights = false);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Creates the hive files of a fresh machine that are missing (HKLM and the
  // profile user's HKCU) with their usual keys.  Existing files are kept.
  void EnsureHives();

  bool KeyExists(RegRoot root, std::string_view subkey, unsigned access = 0) const;
  RegResult CreateKey(RegRoot root, std::string_view subkey, unsigned access = 0);
  // Deletes the key with all its subkeys.
  RegResult DeleteKey(RegRoot root, std::string_view subkey, unsigned access = 0);
  RegResult GetValue(RegRoot root, std::string_view subkey, std::string_view name, RegValue& out,
                     unsigned access = 0) const;
  std::optional<RegValue> GetValue(RegRoot root, std::string_view subkey, std::string_view name,
                                   unsigned access = 0) const;
  // Creates the key (and its parents) if needed.  "" is the default value.
  RegResult SetValue(RegRoot root, std::string_view subkey, std::string_view name, const RegValue& v,
                     unsigned access = 0);
  RegResult DeleteValue(RegRoot root, std::string_view subkey, std::string_view name, unsigned access = 0);
  // Names of the direct subkeys / of the values, in stored order.
  std::vector<std::string> SubKeys(RegRoot root, std::string_view subkey, unsigned access = 0) const;
  std::vector<std::string> ValueNames(RegRoot root, std::string_view subkey, unsigned access = 0) const;

  // Text of a String or ExpandString value (not expanded); empty if missing
  // or of another type.
  std::string ReadString(RegRoot root, std::string_view subkey, std::string_view name, unsigned access = 0) const;
  std::optional<std::uint32_t> ReadDWord(RegRoot root, std::string_view subkey, std::string_view name,
                                         unsigned access = 0) const;

  // Host files of the hives (for tests and diagnostics).
  std::string MachineHivePath() const;
  std::string UserHivePath(std::string_view user) const;

  struct HiveData;
  struct Hive;

 private:
  struct Target;
  std::optional<Target> Resolve(RegRoot root, std::string_view subkey, unsigned access, bool forWrite) const;
  Hive& HiveFor(const std::string& path) const;
  bool Is32BitView(unsigned access) const;

  const Machine& machine_;
  bool systemRights_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::unique_ptr<Hive>> hives_;
};

}  // namespace machine
