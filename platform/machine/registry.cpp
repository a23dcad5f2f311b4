#include "platform/machine/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <unordered_map>

#include "platform/base/files.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/shell_folders.h"
#include "platform/machine/winpath.h"

namespace machine {

// --- values ----------------------------------------------------------------

namespace {

const char kHex[] = "0123456789abcdef";

std::string HexPairs(std::string_view bytes, char sep) {
  std::string r;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i && sep) r += sep;
    auto b = static_cast<unsigned char>(bytes[i]);
    r += kHex[b >> 4];
    r += kHex[b & 15];
  }
  return r;
}

}  // namespace

std::string RegValue::AsText() const {
  switch (type) {
    case RegType::String:
    case RegType::ExpandString: return text;
    case RegType::DWord:
    case RegType::QWord: return std::to_string(number);
    case RegType::MultiString: {
      std::string r;
      for (std::size_t i = 0; i < strings.size(); ++i) r += (i ? "\r\n" : "") + strings[i];
      return r;
    }
    default: return HexPairs(bytes, 0);
  }
}

bool RegValue::operator==(const RegValue& o) const {
  if (type != o.type) return false;
  switch (type) {
    case RegType::String:
    case RegType::ExpandString: return text == o.text;
    case RegType::DWord:
    case RegType::QWord: return number == o.number;
    case RegType::MultiString: return strings == o.strings;
    default: return bytes == o.bytes;
  }
}

// --- roots -----------------------------------------------------------------

namespace {

struct RootName {
  RegRoot root;
  const char* full;
  const char* shortName;
};
const RootName kRoots[] = {
    {RegRoot::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegRoot::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::Users, "HKEY_USERS", "HKU"},
    {RegRoot::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

std::optional<RegRoot> ParseRegRoot(std::string_view name) {
  for (const RootName& r : kRoots)
    if (base::SameText(name, r.full) || base::SameText(name, r.shortName)) return r.root;
  return std::nullopt;
}

const char* RegRootName(RegRoot root) {
  for (const RootName& r : kRoots)
    if (r.root == root) return r.full;
  return "";
}

bool SplitRegPath(std::string_view full, RegRoot& root, std::string& subkey) {
  std::size_t sep = full.find('\\');
  auto r = ParseRegRoot(full.substr(0, sep));
  if (!r) return false;
  root = *r;
  subkey = sep == std::string_view::npos ? std::string() : std::string(full.substr(sep + 1));
  return true;
}

// --- diagnostics -------------------------------------------------------------

namespace {

std::mutex gDiagMutex;
std::function<void(const std::string&)> gDiagSink;
std::vector<std::string> gDiagPending;
std::set<std::string> gReported;  // hive files reported as malformed

void ReportOnce(const std::string& path, const std::string& message) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard<std::mutex> lock(gDiagMutex);
    if (!gReported.insert(path).second) return;
    if (!gDiagSink) {
      gDiagPending.push_back(message);
      return;
    }
    sink = gDiagSink;
  }
  sink(message);
}

}  // namespace

void SetRegistryDiagnostics(std::function<void(const std::string&)> sink) {
  std::vector<std::string> pending;
  {
    std::lock_guard<std::mutex> lock(gDiagMutex);
    gDiagSink = sink;
    if (sink) pending.swap(gDiagPending);
  }
  for (const std::string& m : pending) sink(m);
}

// --- hive data and its REGEDIT4 text -------------------------------------------

namespace {

// Key path components, empty ones dropped ("A\\B\" -> A, B).
std::vector<std::string> KeyParts(std::string_view path) {
  std::vector<std::string> parts;
  for (std::string& p : base::Split(path, '\\'))
    if (!p.empty()) parts.push_back(std::move(p));
  return parts;
}

std::string JoinKey(const std::vector<std::string>& parts, std::size_t n) {
  std::string r;
  for (std::size_t i = 0; i < n && i < parts.size(); ++i) r += (i ? "\\" : "") + parts[i];
  return r;
}

bool HasHighByte(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Bytes of a text on disk (see invariant 4 of registry.h).
std::string EncodeText(std::string_view utf8) {
  std::string ansi = base::Utf8ToCp1252(utf8);
  if (base::Cp1252ToUtf8(ansi) == utf8 && !(HasHighByte(ansi) && base::IsValidUtf8(ansi))) return ansi;
  return std::string(utf8);
}

std::string DecodeText(std::string_view bytes) {
  if (HasHighByte(bytes) && base::IsValidUtf8(bytes)) return std::string(bytes);
  return base::Cp1252ToUtf8(bytes);
}

// A quoted REGEDIT4 string holds no line breaks or NULs.
bool Quotable(std::string_view s) {
  for (char c : s)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  return true;
}

std::string Quote(std::string_view s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r + "\"";
}

}  // namespace

// Registry strings end at their first NUL, and a multi-string holds no
// empty strings (an empty one would end the list); values are kept in that
// form so that what is written reads back the same.
static RegValue Sanitized(RegValue v) {
  auto cut = [](std::string& s) {
    if (std::size_t z = s.find('\0'); z != std::string::npos) s.resize(z);
  };
  cut(v.text);
  std::vector<std::string> kept;
  for (std::string& s : v.strings) {
    cut(s);
    if (!s.empty()) kept.push_back(std::move(s));
  }
  v.strings = std::move(kept);
  return v;
}

struct Registry::HiveData {
  struct Key {
    std::string name;  // path below the root, case as first created
    std::vector<std::pair<std::string, RegValue>> values;  // in stored order
    std::unordered_map<std::string, std::size_t> index;     // upper-case name -> position in values

    RegValue* Find(std::string_view n) {
      auto it = index.find(base::UpperCase(n));
      return it == index.end() ? nullptr : &values[it->second].second;
    }
    const RegValue* Find(std::string_view n) const {
      auto it = index.find(base::UpperCase(n));
      return it == index.end() ? nullptr : &values[it->second].second;
    }
    void Put(std::string_view n, RegValue v) {
      if (RegValue* old = Find(n)) {
        *old = std::move(v);
        return;
      }
      index.emplace(base::UpperCase(n), values.size());
      values.emplace_back(std::string(n), std::move(v));
    }
    bool Erase(std::string_view n) {
      auto it = index.find(base::UpperCase(n));
      if (it == index.end()) return false;
      values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
      index.clear();
      for (std::size_t i = 0; i < values.size(); ++i) index.emplace(base::UpperCase(values[i].first), i);
      return true;
    }
  };
  std::map<std::string, Key> keys;  // by upper-case path
  bool malformed = false;
  int badLine = 0;

  static std::string Fold(std::string_view path) { return base::UpperCase(path); }

  Key* Find(std::string_view path) {
    auto it = keys.find(Fold(path));
    return it == keys.end() ? nullptr : &it->second;
  }
  const Key* Find(std::string_view path) const {
    auto it = keys.find(Fold(path));
    return it == keys.end() ? nullptr : &it->second;
  }
  // Creates the key and its parents; returns the key.
  Key& Create(std::string_view path) {
    std::vector<std::string> parts = KeyParts(path);
    Key* k = nullptr;
    for (std::size_t n = 1; n <= parts.size(); ++n) {
      std::string p = JoinKey(parts, n);
      auto [it, inserted] = keys.try_emplace(Fold(p));
      if (inserted) it->second.name = p;
      k = &it->second;
    }
    if (!k) {
      auto [it, inserted] = keys.try_emplace("");
      k = &it->second;
    }
    return *k;
  }
  static RegValue* FindValue(Key& k, std::string_view name) { return k.Find(name); }
  static const RegValue* FindValue(const Key& k, std::string_view name) { return k.Find(name); }
  void Set(std::string_view path, std::string_view name, const RegValue& v) { Create(path).Put(name, Sanitized(v)); }
  // Direct children's names, sorted.
  std::vector<std::string> Children(std::string_view path) const {
    std::string prefix = Fold(JoinKey(KeyParts(path), ~std::size_t{0}));
    if (!prefix.empty()) prefix += '\\';
    std::vector<std::string> out;
    for (auto it = keys.lower_bound(prefix); it != keys.end(); ++it) {
      if (it->first.compare(0, prefix.size(), prefix) != 0) break;
      std::string_view rest = std::string_view(it->second.name).substr(prefix.size());
      if (!rest.empty() && rest.find('\\') == std::string_view::npos) out.emplace_back(rest);
    }
    return out;
  }
  bool EraseTree(std::string_view path) {
    std::string key = Fold(JoinKey(KeyParts(path), ~std::size_t{0}));
    if (!keys.count(key)) return false;
    std::string prefix = key + "\\";
    for (auto it = keys.lower_bound(prefix); it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
      it = keys.erase(it);
    keys.erase(key);
    return true;
  }

  // --- text form ---

  std::string Serialize(const std::string& rootName) const {
    std::string out = "REGEDIT4\r\n";
    for (const auto& [fold, key] : keys) {
      std::string lines = "\r\n[" + rootName + (key.name.empty() ? "" : "\\" + key.name) + "]\r\n";
      for (const auto& [name, v] : key.values) lines += ValueLine(name, v);
      out += EncodeLines(lines);
    }
    return out;
  }

  static std::string EncodeLines(const std::string& text) {
    std::string out;
    for (const std::string& l : base::SplitLines(text)) out += EncodeText(l) + "\r\n";
    // SplitLines drops nothing but the last line end; the leading blank line stays.
    return out;
  }

  static std::string StringBytes(std::string_view s) { return EncodeText(s) + std::string(1, '\0'); }

  static std::string HexLine(std::string head, std::string_view bytes) {
    std::string line = head;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      line += kHex[b >> 4];
      line += kHex[b & 15];
      if (i + 1 < bytes.size()) {
        line += ',';
        // Wrap long data the way registry exports do.
        std::size_t lastBreak = line.rfind('\n');
        std::size_t col = line.size() - (lastBreak == std::string::npos ? 0 : lastBreak + 1);
        if (col > 76) line += "\\\r\n  ";
      }
    }
    return line + "\r\n";
  }

  static std::string ValueLine(const std::string& name, const RegValue& v) {
    std::string head = (name.empty() ? std::string("@") : Quote(name)) + "=";
    switch (v.type) {
      case RegType::String:
        if (Quotable(v.text)) return head + Quote(v.text) + "\r\n";
        return HexLine(head + "hex(1):", StringBytes(v.text));
      case RegType::ExpandString: return HexLine(head + "hex(2):", StringBytes(v.text));
      case RegType::MultiString: {
        std::string b;
        for (const std::string& s : v.strings) b += StringBytes(s);
        b += '\0';
        return HexLine(head + "hex(7):", b);
      }
      case RegType::DWord: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(v.number & 0xFFFFFFFFu));
        return head + "dword:" + buf + "\r\n";
      }
      case RegType::QWord: {
        std::string b;
        for (int i = 0; i < 8; ++i) b += static_cast<char>((v.number >> (8 * i)) & 0xFF);
        return HexLine(head + "hex(b):", b);
      }
      case RegType::Binary: return HexLine(head + "hex:", v.bytes);
      default: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        return HexLine(head + buf, v.bytes);
      }
    }
  }

  // Parses a hive file.  Lines that do not parse are skipped and mark the
  // data malformed (badLine is the first of them, 1-based).
  static HiveData Parse(std::string_view bytes, const std::string& rootName) {
    HiveData d;
    std::vector<std::string> raw = base::SplitLines(bytes);
    bool header = false;
    Key* current = nullptr;
    auto bad = [&](int line) {
      if (!d.malformed) d.badLine = line;
      d.malformed = true;
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
      int lineNo = static_cast<int>(i + 1);
      std::string line = base::TrimRight(DecodeText(raw[i]));
      // Hex data continues on the next line after a trailing backslash.
      while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos && i + 1 < raw.size()) {
        line.pop_back();
        line += base::Trim(DecodeText(raw[++i]));
      }
      std::string_view l = line;
      if (!header) {
        if (i == 0 && l.substr(0, 3) == "\xEF\xBB\xBF") l.remove_prefix(3);
        if (base::Trim(l).empty()) continue;
        if (base::Trim(l) != "REGEDIT4") {
          bad(lineNo);
          return d;  // not a hive at all
        }
        header = true;
        continue;
      }
      std::string t = base::TrimLeft(l);
      if (t.empty() || t[0] == ';') continue;
      if (t[0] == '[') {
        if (t.back() != ']') { bad(lineNo); current = nullptr; continue; }
        std::string full = t.substr(1, t.size() - 2);
        std::size_t sep = full.find('\\');
        std::string head = full.substr(0, sep);
        if (!base::SameText(head, rootName)) { bad(lineNo); current = nullptr; continue; }
        current = &d.Create(sep == std::string::npos ? std::string() : full.substr(sep + 1));
        continue;
      }
      if (!current) { bad(lineNo); continue; }
      std::string name;
      RegValue v;
      if (!ParseValueLine(t, name, v)) { bad(lineNo); continue; }
      if (std::size_t z = name.find('\0'); z != std::string::npos) name.resize(z);
      v = Sanitized(std::move(v));
      current->Put(name, std::move(v));
    }
    if (!header) bad(1);
    return d;
  }

  // Reads a quoted string at s[pos] (the opening quote); pos ends after it.
  static bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < s.size()) {
      char c = s[pos++];
      if (c == '"') return true;
      if (c == '\\') {
        if (pos >= s.size()) return false;
        c = s[pos++];
      }
      out += c;
    }
    return false;
  }

  static bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::string t = base::Trim(s);
    if (t.empty()) return true;
    for (const std::string& item : base::Split(t, ',')) {
      std::string h = base::Trim(item);
      if (h.empty() || h.size() > 2) return false;
      unsigned v = 0;
      for (char c : h) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        v = v * 16 + static_cast<unsigned>(d);
      }
      out += static_cast<char>(v);
    }
    return true;
  }

  static std::vector<std::string> SplitNul(std::string_view b) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= b.size(); ++i)
      if (i == b.size() || b[i] == '\0') {
        parts.push_back(DecodeText(b.substr(start, i - start)));
        start = i + 1;
      }
    return parts;
  }

  static bool ParseValueLine(std::string_view t, std::string& name, RegValue& v) {
    std::size_t pos = 0;
    if (t[0] == '@') {
      name.clear();
      pos = 1;
    } else if (!ReadQuoted(t, pos, name)) {
      return false;
    }
    while (pos < t.size() && t[pos] == ' ') ++pos;
    if (pos >= t.size() || t[pos] != '=') return false;
    ++pos;
    while (pos < t.size() && t[pos] == ' ') ++pos;
    std::string_view data = t.substr(pos);
    if (!data.empty() && data[0] == '"') {
      std::size_t p = 0;
      std::string s;
      if (!ReadQuoted(data, p, s) || !base::Trim(data.substr(p)).empty()) return false;
      v = RegValue::String(std::move(s));
      return true;
    }
    if (base::StartsText("dword:", data)) {
      std::string h = base::Trim(data.substr(6));
      if (h.empty() || h.size() > 8) return false;
      std::uint32_t n = 0;
      for (char c : h) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        n = n * 16 + static_cast<std::uint32_t>(d);
      }
      v = RegValue::DWord(n);
      return true;
    }
    if (!base::StartsText("hex", data)) return false;
    std::uint32_t type = 3;
    std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view tag = data.substr(3, colon - 3);
    if (!tag.empty()) {
      if (tag.size() < 3 || tag.front() != '(' || tag.back() != ')') return false;
      std::string h(tag.substr(1, tag.size() - 2));
      if (h.empty() || h.size() > 8) return false;
      type = 0;
      for (char c : h) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return false;
        type = type * 16 + static_cast<std::uint32_t>(d);
      }
    }
    std::string b;
    if (!ParseHexBytes(data.substr(colon + 1), b)) return false;
    switch (static_cast<RegType>(type)) {
      case RegType::String:
      case RegType::ExpandString: {
        std::vector<std::string> parts = SplitNul(b);
        v = type == 1 ? RegValue::String(parts[0]) : RegValue::ExpandString(parts[0]);
        return true;
      }
      case RegType::MultiString: {
        // Strings each ended by a NUL, the list by one more.
        while (!b.empty() && b.back() == '\0') b.pop_back();
        v = RegValue::MultiString(b.empty() ? std::vector<std::string>{} : SplitNul(b));
        return true;
      }
      case RegType::DWord:
      case RegType::QWord: {
        std::size_t want = type == 4 ? 4 : 8;
        if (b.size() != want) return false;
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < want; ++i) n |= std::uint64_t(static_cast<unsigned char>(b[i])) << (8 * i);
        v = type == 4 ? RegValue::DWord(static_cast<std::uint32_t>(n)) : RegValue::QWord(n);
        return true;
      }
      default:
        v = type == 3 ? RegValue::Binary(std::move(b)) : RegValue::Raw(type, std::move(b));
        return true;
    }
  }
};

HiveCheck CheckHiveText(std::string_view bytes, const std::string& rootName) {
  Registry::HiveData d = Registry::HiveData::Parse(bytes, rootName);
  HiveCheck c;
  c.malformed = d.malformed;
  c.badLine = d.badLine;
  c.keys = d.keys.size();
  c.normalized = d.Serialize(rootName);
  return c;
}

// --- a hive file with its lock ---------------------------------------------------

namespace {

class FileLock {
 public:
  FileLock(const std::string& path, bool exclusive) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) {
      flock(fd_, LOCK_UN);
      close(fd_);
    }
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct Stamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  bool operator==(const Stamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
  }
};

Stamp StampOf(const std::string& path) {
  Stamp s;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return s;
}

}  // namespace

struct Registry::Hive {
  std::string path;
  std::string rootName;
  bool loaded = false;
  Stamp stamp;
  HiveData data;

  std::string LockPath() const { return path + ".lock"; }

  // Brings `data` up to date with the file; the caller holds a lock.
  bool Refresh() {
    Stamp now = StampOf(path);
    if (loaded && now == stamp) return true;
    if (!now.exists) {
      data = HiveData{};
    } else {
      auto bytes = base::ReadFileBytes(path);
      if (!bytes) return false;
      data = HiveData::Parse(*bytes, rootName);
      if (data.malformed)
        ReportOnce(path, "Registry hive " + path + " is malformed (line " + std::to_string(data.badLine) +
                             "); it is left unchanged and not written");
    }
    stamp = now;
    loaded = true;
    return true;
  }

  template <class Fn>
  RegResult Read(Fn&& fn) {
    FileLock lock(LockPath(), false);
    if (!lock.ok() || !Refresh()) return kRegIoFailed;
    return fn(static_cast<const HiveData&>(data));
  }

  // fn(HiveData&) -> RegResult; the file is written when fn returns kRegOk
  // and says it changed something.
  template <class Fn>
  RegResult Write(Fn&& fn) {
    base::ForceDirectories(base::ExtractFileDir(path));
    FileLock lock(LockPath(), true);
    if (!lock.ok() || !Refresh()) return kRegIoFailed;
    if (data.malformed) return kRegBadHive;
    HiveData copy = data;
    bool changed = false;
    RegResult r = fn(copy, changed);
    if (r != kRegOk || !changed) return r;
    if (!base::WriteFileAtomic(path, copy.Serialize(rootName))) return kRegIoFailed;
    data = std::move(copy);
    stamp = StampOf(path);
    return kRegOk;
  }
};

// --- resolution of (root, subkey, access) to a hive and a path ----------------------

// The Hive objects are shared by the threads of this process: one mutex per
// operation keeps their caches consistent (the file lock orders processes).
#define HIVE_OP std::lock_guard<std::mutex> opLock(opMutex())
namespace {
std::mutex& opMutex() {
  static std::mutex m;
  return m;
}
}  // namespace

struct Registry::Target {
  std::string hivePath;
  std::string rootName;
  std::string key;       // path below the hive's root
  bool writable = true;  // the caller has the rights to write there
};

Registry::Registry(const Machine& m, bool systemRights) : machine_(m), systemRights_(systemRights) {}
Registry::~Registry() = default;

std::string Registry::MachineHivePath() const { return machine_.Root() + "/registry/HKLM.reg"; }
std::string Registry::UserHivePath(std::string_view user) const {
  return machine_.Root() + "/registry/users/" + std::string(user) + ".reg";
}

bool Registry::Is32BitView(unsigned access) const {
  if (!machine_.profile().is64Bit) return false;
  if (access & kWow64_64Key) return false;
  return true;  // kWow64_32Key, or no flag: the 32-bit engine's own view
}

namespace {

// HKLM\SOFTWARE\<x> -> HKLM\SOFTWARE\WOW6432Node\<x> in the 32-bit view.
std::string Redirect32(const std::string& key) {
  std::vector<std::string> parts = KeyParts(key);
  if (parts.size() < 2 || !base::SameText(parts[0], "SOFTWARE")) return key;
  if (base::SameText(parts[1], "WOW6432Node") || base::SameText(parts[1], "Classes")) return key;
  parts.insert(parts.begin() + 1, "WOW6432Node");
  return JoinKey(parts, parts.size());
}

std::string Normal(std::string_view key) {
  std::vector<std::string> parts = KeyParts(key);
  return JoinKey(parts, parts.size());
}

}  // namespace

std::optional<Registry::Target> Registry::Resolve(RegRoot root, std::string_view subkey, unsigned access,
                                                  bool forWrite) const {
  // A key name that could not stand on one line of the hive file is refused.
  if (!Quotable(subkey)) return std::nullopt;
  const Profile& p = machine_.profile();
  const bool machineWritable = systemRights_ || p.isAdmin || !p.IsNT();
  std::string key = Normal(subkey);
  auto hklm = [&](std::string k) {
    if (Is32BitView(access)) k = Redirect32(k);
    return Target{MachineHivePath(), "HKEY_LOCAL_MACHINE", k, machineWritable};
  };
  auto hkcu = [&](std::string k) {
    return Target{UserHivePath(p.userName), "HKEY_CURRENT_USER", k, true};
  };
  switch (root) {
    case RegRoot::LocalMachine: return hklm(key);
    case RegRoot::CurrentUser: return hkcu(key);
    case RegRoot::CurrentConfig:
      return hklm("SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current" + (key.empty() ? "" : "\\" + key));
    case RegRoot::Users: {
      std::vector<std::string> parts = KeyParts(key);
      if (parts.empty() || parts[0] == "." || parts[0] == ".." || parts[0].find('/') != std::string::npos)
        return std::nullopt;
      std::string rest = JoinKey(std::vector<std::string>(parts.begin() + 1, parts.end()), parts.size());
      if (base::SameText(parts[0], p.userName)) return hkcu(rest);
      // Other users' hives need the rights an administrator has.
      return Target{UserHivePath(parts[0]), "HKEY_CURRENT_USER", rest, machineWritable};
    }
    case RegRoot::ClassesRoot: {
      std::string tail = key.empty() ? "" : "\\" + key;
      Target user = hkcu("Software\\Classes" + tail);
      Target mach = hklm("SOFTWARE\\Classes" + tail);
      HIVE_OP;
      Hive& uh = HiveFor(user.hivePath);
      bool inUser = uh.Read([&](const HiveData& d) { return d.Find(user.key) ? kRegOk : kRegNotFound; }) == kRegOk;
      if (inUser) return user;
      if (forWrite && !mach.writable) return user;
      return mach;
    }
  }
  return std::nullopt;
}

Registry::Hive& Registry::HiveFor(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& h = hives_[path];
  if (!h) {
    h = std::make_unique<Hive>();
    h->path = path;
    h->rootName = path == MachineHivePath() ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  }
  return *h;
}


bool Registry::KeyExists(RegRoot root, std::string_view subkey, unsigned access) const {
  auto t = Resolve(root, subkey, access, false);
  if (!t) return false;
  HIVE_OP;
  return HiveFor(t->hivePath).Read([&](const HiveData& d) { return d.Find(t->key) ? kRegOk : kRegNotFound; }) ==
         kRegOk;
}

RegResult Registry::CreateKey(RegRoot root, std::string_view subkey, unsigned access) {
  auto t = Resolve(root, subkey, access, true);
  if (!t) return kRegInvalidParameter;
  if (!t->writable) return kRegAccessDenied;
  HIVE_OP;
  return HiveFor(t->hivePath).Write([&](HiveData& d, bool& changed) {
    if (!d.Find(t->key)) {
      d.Create(t->key);
      changed = true;
    }
    return kRegOk;
  });
}

RegResult Registry::DeleteKey(RegRoot root, std::string_view subkey, unsigned access) {
  if (KeyParts(subkey).empty()) return kRegInvalidParameter;  // never a whole root
  auto t = Resolve(root, subkey, access, true);
  if (!t || t->key.empty()) return kRegInvalidParameter;
  if (!t->writable) return kRegAccessDenied;
  HIVE_OP;
  return HiveFor(t->hivePath).Write([&](HiveData& d, bool& changed) {
    changed = d.EraseTree(t->key);
    return changed ? kRegOk : kRegNotFound;
  });
}

RegResult Registry::GetValue(RegRoot root, std::string_view subkey, std::string_view name, RegValue& out,
                             unsigned access) const {
  auto t = Resolve(root, subkey, access, false);
  if (!t) return kRegInvalidParameter;
  HIVE_OP;
  return HiveFor(t->hivePath).Read([&](const HiveData& d) {
    const HiveData::Key* k = d.Find(t->key);
    if (!k) return kRegNotFound;
    const RegValue* v = HiveData::FindValue(*k, name);
    if (!v) return kRegNotFound;
    out = *v;
    return kRegOk;
  });
}

std::optional<RegValue> Registry::GetValue(RegRoot root, std::string_view subkey, std::string_view name,
                                           unsigned access) const {
  RegValue v;
  if (GetValue(root, subkey, name, v, access) != kRegOk) return std::nullopt;
  return v;
}

RegResult Registry::SetValue(RegRoot root, std::string_view subkey, std::string_view name, const RegValue& v,
                             unsigned access) {
  if (!Quotable(name)) return kRegInvalidParameter;
  auto t = Resolve(root, subkey, access, true);
  if (!t) return kRegInvalidParameter;
  if (!t->writable) return kRegAccessDenied;
  HIVE_OP;
  return HiveFor(t->hivePath).Write([&](HiveData& d, bool& changed) {
    HiveData::Key* k = d.Find(t->key);
    const RegValue* old = k ? HiveData::FindValue(*k, name) : nullptr;
    if (!old || !(*old == Sanitized(v))) {
      d.Set(t->key, name, v);
      changed = true;
    }
    return kRegOk;
  });
}

RegResult Registry::DeleteValue(RegRoot root, std::string_view subkey, std::string_view name, unsigned access) {
  auto t = Resolve(root, subkey, access, true);
  if (!t) return kRegInvalidParameter;
  if (!t->writable) return kRegAccessDenied;
  HIVE_OP;
  return HiveFor(t->hivePath).Write([&](HiveData& d, bool& changed) {
    HiveData::Key* k = d.Find(t->key);
    if (!k) return kRegNotFound;
    if (!k->Erase(name)) return kRegNotFound;
    changed = true;
    return kRegOk;
  });
}

std::vector<std::string> Registry::SubKeys(RegRoot root, std::string_view subkey, unsigned access) const {
  std::vector<std::string> out;
  auto add = [&](const std::vector<std::string>& names) {
    for (const std::string& n : names) {
      bool dup = false;
      for (const std::string& o : out) dup = dup || base::SameText(o, n);
      if (!dup) out.push_back(n);
    }
  };
  auto list = [&](const Target& t) {
    HIVE_OP;
    HiveFor(t.hivePath).Read([&](const HiveData& d) {
      add(d.Children(t.key));
      return kRegOk;
    });
  };
  if (root == RegRoot::ClassesRoot) {
    // The merged view lists the keys of both.
    std::string tail = Normal(subkey).empty() ? "" : "\\" + Normal(subkey);
    for (RegRoot r : {RegRoot::CurrentUser, RegRoot::LocalMachine})
      if (auto t = Resolve(r, "Software\\Classes" + tail, access, false)) list(*t);
  } else if (auto t = Resolve(root, subkey, access, false)) {
    list(*t);
    // HKLM\SOFTWARE in the 32-bit view: its children are those of WOW6432Node plus Classes.
    if (root == RegRoot::LocalMachine && Is32BitView(access) && base::SameText(Normal(subkey), "SOFTWARE")) {
      out.clear();
      Target w = *t;
      w.key = "SOFTWARE\\WOW6432Node";
      list(w);
      add({"Classes"});
    }
  }
  return out;
}

std::vector<std::string> Registry::ValueNames(RegRoot root, std::string_view subkey, unsigned access) const {
  std::vector<std::string> out;
  auto t = Resolve(root, subkey, access, false);
  if (!t) return out;
  HIVE_OP;
  HiveFor(t->hivePath).Read([&](const HiveData& d) {
    if (const HiveData::Key* k = d.Find(t->key))
      for (const auto& [n, v] : k->values) out.push_back(n);
    return kRegOk;
  });
  return out;
}

std::string Registry::ReadString(RegRoot root, std::string_view subkey, std::string_view name,
                                 unsigned access) const {
  auto v = GetValue(root, subkey, name, access);
  if (!v || (v->type != RegType::String && v->type != RegType::ExpandString)) return {};
  return v->text;
}

std::optional<std::uint32_t> Registry::ReadDWord(RegRoot root, std::string_view subkey, std::string_view name,
                                                 unsigned access) const {
  auto v = GetValue(root, subkey, name, access);
  if (!v || v->type != RegType::DWord) return std::nullopt;
  return static_cast<std::uint32_t>(v->number);
}

// --- the usual keys of a fresh machine --------------------------------------------

namespace {

void FreshMachineKeys(Registry::HiveData& d, const Profile& p) {
  const std::string ver = std::to_string(p.versionMajor) + "." + std::to_string(p.versionMinor);
  // The 64-bit view and, on a 64-bit machine, the 32-bit one under WOW6432Node.
  std::vector<std::pair<std::string, bool>> views = {{"SOFTWARE", false}};
  if (p.is64Bit) views.push_back({"SOFTWARE\\WOW6432Node", true});
  for (const auto& [sw, x86] : views) {
    const FolderView fv = x86 ? FolderView::Process32 : FolderView::Native;
    std::string cv = sw + "\\Microsoft\\Windows\\CurrentVersion";
    std::string nt = sw + "\\Microsoft\\Windows NT\\CurrentVersion";
    std::string owner = p.IsNT() ? nt : cv;
    d.Set(owner, "RegisteredOwner", RegValue::String(p.registeredOwner));
    d.Set(owner, "RegisteredOrganization", RegValue::String(p.registeredOrganization));
    if (p.IsNT()) {
      d.Set(nt, "CurrentVersion", RegValue::String(ver));
      d.Set(nt, "CurrentBuildNumber", RegValue::String(std::to_string(p.build)));
      d.Set(nt, "CSDVersion", RegValue::String(p.servicePack));
      d.Set(nt, "SystemRoot", RegValue::String("C:\\Windows"));
      d.Set(nt, "ProductName", RegValue::String("Windows"));
    } else {
      d.Set(cv, "VersionNumber", RegValue::String(ver + "." + std::to_string(p.build)));
      d.Set(cv, "SubVersionNumber", RegValue::String(p.servicePack));
    }
    d.Set(cv, "ProgramFilesDir",
          RegValue::String(ExcludeTrailingBackslash(ShellFolderText(p, csidl::kProgramFiles, fv))));
    d.Set(cv, "CommonFilesDir",
          RegValue::String(ExcludeTrailingBackslash(ShellFolderText(p, csidl::kProgramFilesCommon, fv))));
    if (p.is64Bit) {
      d.Set(cv, "ProgramFilesDir (x86)", RegValue::String("C:\\Program Files (x86)"));
      d.Set(cv, "CommonFilesDir (x86)", RegValue::String("C:\\Program Files (x86)\\Common Files"));
    }
    d.Set(cv, "ProgramFilesPath", RegValue::ExpandString("%ProgramFiles%"));
    d.Set(cv + "\\Setup", "BootDir", RegValue::String("C:\\"));
    for (const char* sub : {"\\Uninstall", "\\Run", "\\RunOnce", "\\App Paths", "\\Installer"}) d.Create(cv + sub);
    d.Set(sw + "\\Microsoft\\Internet Explorer", "Version", RegValue::String("8.0.7601.17514"));
    for (const ShellFolderEntry& e : ShellFolderTable()) {
      if (!e.common || !e.name) continue;
      std::string f = ExcludeTrailingBackslash(ShellFolderText(p, e.csidl));
      d.Set(cv + "\\Explorer\\Shell Folders", e.name, RegValue::String(f));
      d.Set(cv + "\\Explorer\\User Shell Folders", e.name, RegValue::ExpandString(f));
    }
  }
  d.Create("SOFTWARE\\Classes");
  d.Create("SOFTWARE\\Classes\\CLSID");
  d.Set("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
        RegValue::String(p.computerName));
  std::string env = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  d.Set(env, "windir", RegValue::ExpandString("%SystemRoot%"));
  d.Set(env, "Path", RegValue::ExpandString("%SystemRoot%\\system32;%SystemRoot%"));
  d.Set(env, "TEMP", RegValue::ExpandString("%SystemRoot%\\TEMP"));
  d.Set(env, "TMP", RegValue::ExpandString("%SystemRoot%\\TEMP"));
  d.Set(env, "OS", RegValue::String(p.IsNT() ? "Windows_NT" : ""));
  d.Set(env, "PROCESSOR_ARCHITECTURE", RegValue::String(p.is64Bit ? "AMD64" : "x86"));
  d.Create("SYSTEM\\CurrentControlSet\\Services");
  d.Create("SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");
}

void FreshUserKeys(Registry::HiveData& d, const Profile& p) {
  std::string cv = "Software\\Microsoft\\Windows\\CurrentVersion";
  for (const char* sub : {"\\Run", "\\RunOnce", "\\Uninstall"}) d.Create(cv + sub);
  std::string shell = cv + "\\Explorer\\Shell Folders";
  std::string userShell = cv + "\\Explorer\\User Shell Folders";
  const std::string profile = ExcludeTrailingBackslash(ShellFolderText(p, csidl::kProfile));
  for (const ShellFolderEntry& e : ShellFolderTable()) {
    if (e.common || !e.name) continue;
    std::string f = ExcludeTrailingBackslash(ShellFolderText(p, e.csidl));
    d.Set(shell, e.name, RegValue::String(f));
    if (p.IsNT() && base::StartsText(profile + "\\", f))
      d.Set(userShell, e.name, RegValue::ExpandString("%USERPROFILE%" + f.substr(profile.size())));
    else
      d.Set(userShell, e.name, RegValue::ExpandString(f));
  }
  d.Set("Environment", "TEMP", RegValue::ExpandString("%USERPROFILE%\\AppData\\Local\\Temp"));
  d.Set("Environment", "TMP", RegValue::ExpandString("%USERPROFILE%\\AppData\\Local\\Temp"));
  d.Create("Software\\Classes");
  std::string intl = "Control Panel\\International";
  d.Set(intl, "sShortDate", RegValue::String(p.shortDateFormat));
  d.Set(intl, "sTimeFormat", RegValue::String(p.longTimeFormat));
  d.Set(intl, "sDate", RegValue::String(std::string(1, p.dateSeparator)));
  d.Set(intl, "sTime", RegValue::String(std::string(1, p.timeSeparator)));
  d.Set(intl, "sDecimal", RegValue::String(std::string(1, p.decimalSeparator)));
  d.Set(intl, "sThousand", RegValue::String(std::string(1, p.thousandSeparator)));
  d.Set("Volatile Environment", "USERNAME", RegValue::String(p.userName));
  d.Set("Volatile Environment", "USERDOMAIN", RegValue::String(p.domain));
  d.Set("Volatile Environment", "USERPROFILE", RegValue::String(profile));
}

}  // namespace

void Registry::EnsureHives() {
  const Profile& p = machine_.profile();
  struct Fresh {
    std::string path;
    void (*fill)(HiveData&, const Profile&);
  } fresh[] = {{MachineHivePath(), FreshMachineKeys}, {UserHivePath(p.userName), FreshUserKeys}};
  for (const Fresh& f : fresh) {
    if (base::FileExists(f.path)) continue;
    HIVE_OP;
    Hive& h = HiveFor(f.path);
    // Under the lock: only the first of several processes creates the hive.
    h.Write([&](HiveData& d, bool& changed) {
      if (!StampOf(f.path).exists) {
        f.fill(d, p);
        changed = true;
      }
      return kRegOk;
    });
  }
}

}  // namespace machine
