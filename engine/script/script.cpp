// Loader and lookups of the compiled setup script (see script.h).
#include "engine/script/script.h"

#include <algorithm>
#include <unordered_map>

#include "platform/base/files.h"
#include "platform/base/text.h"

namespace engine {
namespace {

// Reads a text front to back, one line at a time.  A line ends at LF; one CR
// directly before it belongs to the line end (CR LF).  A CR elsewhere is
// kept as text.  The final line needs no line end.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : t_(text) {}
  bool AtEnd() const { return p_ >= t_.size(); }
  std::string_view Next() {
    if (AtEnd()) return {};
    std::size_t lf = t_.find('\n', p_);
    std::size_t end = lf == std::string_view::npos ? t_.size() : lf;
    std::string_view line = t_.substr(p_, end - p_);
    p_ = lf == std::string_view::npos ? t_.size() : lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }
  std::string Line() { return std::string(Next()); }
  // Lines up to a line that is exactly "$" (consumed) or the end of text.
  base::TStringList List() {
    std::vector<std::string> items;
    while (!AtEnd()) {
      std::string_view line = Next();
      if (line == "$") break;
      items.emplace_back(line);
    }
    return base::TStringList(std::move(items));
  }

 private:
  std::string_view t_;
  std::size_t p_ = 0;
};

bool IsDollarMarker(std::string_view s) {
  return s.size() >= 8 && s.size() <= 13 && s.front() == '$' &&
         (base::SameText(s, "$DOLLAR$") || base::SameText(s, "$WILD_DOLLAR$"));
}

}  // namespace

bool Script::IsPluginCommand(std::string_view name) const {
  return !name.empty() && pluginCommands.IndexOf(name) >= 0;
}

namespace {
struct FoldHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return base::TextHash(s); }
};
struct FoldEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return base::SameText(a, b); }
};
}  // namespace

void Script::Reindex() {
  const int n = commandIds.Count();
  // Identifier -> first store position; a line is looked up only when its
  // length is that of some identifier.
  std::unordered_map<std::string_view, int, FoldHash, FoldEqual> first;
  first.reserve(static_cast<std::size_t>(n));
  std::vector<char> idLength;
  for (const std::string& id : commandIds) {
    if (id.empty()) continue;
    first.emplace(id, -1);
    if (id.size() >= idLength.size()) idLength.resize(id.size() + 1, 0);
    idLength[id.size()] = 1;
  }
  std::vector<int> starts;
  const int count = params.Count();
  for (int p = 0; p < count; ++p) {
    const std::string& line = params[p];
    if (line.size() >= idLength.size() || !idLength[line.size()]) continue;
    auto it = first.find(std::string_view(line));
    if (it == first.end() || it->second >= 0) continue;
    it->second = p;
    starts.push_back(p);
  }  // positions are found in ascending order

  recordPos_.assign(static_cast<std::size_t>(n), -1);
  recordEnd_.assign(static_cast<std::size_t>(n), -1);
  for (int i = 0; i < n; ++i) {
    const std::string& id = commandIds[i];
    if (id.empty()) continue;
    int pos = first.find(std::string_view(id))->second;
    if (pos < 0) continue;
    auto next = std::upper_bound(starts.begin(), starts.end(), pos);
    recordPos_[i] = pos;
    recordEnd_[i] = next == starts.end() ? count : *next;
  }

  headerOf_.assign(static_cast<std::size_t>(commandNames.Count()), std::string());
  std::vector<char> seen(headerOf_.size(), 0);
  for (int i = 0; i + 1 < commandHeaders.Count(); i += 2) {
    auto idx = base::ParseInt(commandHeaders[i + 1]);
    if (!idx || *idx < 0 || *idx >= static_cast<long long>(headerOf_.size())) continue;
    if (base::IntToStr(*idx) != commandHeaders[i + 1]) continue;  // the decimal text exactly
    std::size_t k = static_cast<std::size_t>(*idx);
    if (seen[k]) continue;  // first entry wins
    seen[k] = 1;
    headerOf_[k] = commandHeaders[i];
  }
}

std::string Script::Param(int commandIndex, int n) const {
  if (n < 0 || commandIndex < 0) return {};
  if (recordPos_.size() != static_cast<std::size_t>(commandIds.Count())) return SlowParam(commandIndex, n);
  if (commandIndex >= static_cast<int>(recordPos_.size())) return {};
  const int pos = recordPos_[static_cast<std::size_t>(commandIndex)];
  if (pos < 0) return {};
  const long long target = static_cast<long long>(pos) + n;
  if (target >= recordEnd_[static_cast<std::size_t>(commandIndex)] || target >= params.Count()) return {};
  return params[static_cast<int>(target)];
}

// Without an up-to-date index (lists edited by hand): the same rule, from
// the store's own hashed index.
std::string Script::SlowParam(int commandIndex, int n) const {
  std::string id = commandIds.Get(commandIndex);
  if (id.empty()) return {};
  int pos = params.IndexOf(id);
  if (pos < 0) return {};
  long long target = static_cast<long long>(pos) + n;
  for (long long k = pos + 1; k <= target && k < params.Count(); ++k)
    for (const std::string& other : commandIds)
      if (!other.empty() && params.IndexOf(other) == k) return {};
  return target < params.Count() ? params[static_cast<int>(target)] : std::string();
}

std::string Script::HeaderCode(int commandIndex) const {
  if (commandIndex < 0 || commandIndex >= static_cast<int>(headerOf_.size())) return {};
  return headerOf_[static_cast<std::size_t>(commandIndex)];
}

std::uint64_t Script::ComponentSize(std::string_view name) const {
  for (int i = 0; i + 1 < componentSizes.Count(); i += 2) {
    if (!base::SameText(componentSizes[i], name)) continue;
    auto v = base::ParseInt(componentSizes[i + 1]);
    return v && *v >= 0 ? static_cast<std::uint64_t>(*v) : 0;
  }
  return 0;
}

std::string Script::CompilerVariable(std::string_view name) const {
  for (int i = 0; i + 1 < compilerVariables.Count(); i += 2)
    if (base::SameText(compilerVariables[i], name)) return compilerVariables[i + 1];
  return {};
}

std::string Script::WebPassword(std::string_view block) const {
  for (std::string_view want : {block, std::string_view("offline")})
    for (int i = 0; i + 1 < webPasswords.Count(); i += 2)
      if (base::SameText(webPasswords[i], want)) return UnscramblePassword(webPasswords[i + 1]);
  return {};
}

std::string UnscramblePassword(std::string_view stored) {
  // The scrambling works on the ANSI bytes of the stored line.
  std::string bytes = base::Utf8ToCp1252(stored);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ (i & 0xFF));
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    int lo = hex(bytes[i]), hi = hex(bytes[i + 1]);
    if (lo < 0 || hi < 0) break;  // not a scrambled password: stop at the damage
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return base::Cp1252ToUtf8(out);
}

Script ParseScriptText(std::string_view text) {
  Script s;
  LineReader r(text);
  s.commandNames = r.List();   // 1
  s.commandIds = r.List();     // 2
  s.params = r.List();         // 3
  {
    std::vector<std::string> items = s.params.Items();
    bool changed = false;
    for (std::string& line : items) {
      if (!IsDollarMarker(line)) continue;
      line.assign(1, '$');
      changed = true;
    }
    if (changed) s.params = base::TStringList(std::move(items));
  }
  s.disabled = r.List();       // 4
  s.productCode = r.Line();    // 5
  s.title = r.Line();          // 6
  s.pluginCommands = r.List(); // 7
  s.company = r.Line();        // 8
  s.publisher2 = r.Line();     // 9
  s.info1 = r.Line();          // 10
  s.info2 = r.Line();          // 11
  s.legalNotice = r.Line();    // 12
  s.version = r.Line();        // 13
  s.webPasswords = r.List();   // 14
  s.payloadFolders = r.List(); // 15
  s.mediaMode = static_cast<int>(base::StrToIntDef(r.Next(), 0));  // 16
  s.componentSizes = r.List(); // 17
  s.revisionCode = r.Line();   // 18
  s.mediaFiles = r.List();     // 19
  s.languageDialogLine = r.Line();  // 20
  s.languageDialog = s.languageDialogLine == "TRUE";
  s.defaultLanguage = r.Line();     // 21
  s.commandHeaders = r.List();      // 22
  s.compilerVariables = r.List();   // 23
  s.Reindex();
  return s;
}

Script ParseScript(std::string_view ansiBytes) { return ParseScriptText(base::Cp1252ToUtf8(ansiBytes)); }

Script LoadScript(const std::string& hostPath) {
  auto bytes = base::ReadFileBytes(hostPath);
  if (!bytes) return Script{};
  return ParseScript(*bytes);
}

}  // namespace engine
