// The variable store and $NAME$ expansion (see variables.h).
#include "engine/script/variables.h"

#include <algorithm>

namespace engine {

bool Variables::Exists(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  return index_.find(name) != index_.end();
}

std::string Variables::Get(std::string_view name) const {
  std::string v;
  Lookup(name, v);
  return v;
}

bool Variables::Lookup(std::string_view name, std::string& value) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = index_.find(name);
  if (it == index_.end()) return false;
  value = entries_[it->second].value;
  return true;
}

void Variables::PutLocked(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  auto it = index_.find(name);
  if (it != index_.end()) {
    entries_[it->second].value.assign(value);
    return;
  }
  entries_.push_back(Entry{std::string(name), std::string(value)});
  index_.emplace(std::string(name), entries_.size() - 1);
}

void Variables::Put(std::string_view name, std::string_view value) {
  std::lock_guard<std::mutex> lock(mu_);
  PutLocked(name, value);
}

void Variables::Define(std::string_view name, std::string_view value, std::string_view source) {
  if (name.empty()) return;
  bool exists;
  {
    std::lock_guard<std::mutex> lock(mu_);
    exists = index_.find(name) != index_.end();
    if (!exists) PutLocked(name, value);
  }
  if (exists) Set(name, value, source);
}

void Variables::Set(std::string_view name, std::string_view value, std::string_view source) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> lock(mu_);
  if (silent_ && source != kSourceCommandLine && !commandLineNames_.empty()) {
    std::string upper = base::UpperCase(name);
    if (std::find(commandLineNames_.begin(), commandLineNames_.end(), upper) != commandLineNames_.end())
      return;  // the command line wins over the script in silent mode
  }
  PutLocked(name, value);
}

void Variables::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  entries_.clear();
  index_.clear();
}

std::vector<std::string> Variables::Snapshot() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> out;
  out.reserve(entries_.size() * 2);
  for (const Entry& e : entries_) {
    out.push_back(e.name);
    out.push_back(e.value);
  }
  return out;
}

std::string Variables::SnapshotCommaText() const { return base::ToCommaText(Snapshot()); }

void Variables::PutCommaText(std::string_view commaText) {
  std::vector<std::string> items = base::FromCommaText(commaText);
  std::lock_guard<std::mutex> lock(mu_);
  for (std::size_t i = 0; i + 1 < items.size(); i += 2) PutLocked(items[i], items[i + 1]);
}

std::size_t Variables::Size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return entries_.size();
}

void Variables::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mu_);
  silent_ = silent;
}

bool Variables::Silent() const {
  std::lock_guard<std::mutex> lock(mu_);
  return silent_;
}

void Variables::SetCommandLineNames(std::vector<std::string> upperNames) {
  for (std::string& n : upperNames) n = base::UpperCase(n);
  std::lock_guard<std::mutex> lock(mu_);
  commandLineNames_ = std::move(upperNames);
}

// Left-to-right scan; a replaced reference's value is scanned again from
// the same position, so nested references expand and an inserted value may
// combine with the text after it.
//
// The text still to scan is kept reversed in `rest`, so that its front is
// the string's back: inserting a value at the front is an append, and
// every byte is moved or dropped once.  The cost is linear in the input
// plus the inserted bytes, which kMaxExpandedSize bounds.
//
// Self-reference: every inserted value is a region one level deeper than
// the text around it.  A region is the part of `rest` at or above its
// `base` index; the open regions form a stack (innermost last, highest
// base).  A reference that starts inside kMaxExpansionDepth regions is left
// as written.
std::string Variables::ExpandImpl(std::string_view text, bool quoted) const {
  if (text.find('$') == std::string_view::npos) return std::string(text);
  std::string rest(text.rbegin(), text.rend());
  std::string out;
  out.reserve(text.size());
  std::vector<std::size_t> regionBase;
  int substitutions = 0;
  std::size_t inserted = 0;
  std::string value;
  auto moveToOut = [&](std::size_t keep) {  // moves the front down to index `keep` into out
    for (std::size_t i = rest.size(); i > keep; --i) out.push_back(rest[i - 1]);
    rest.resize(keep);
  };
  while (!rest.empty()) {
    std::size_t s = rest.rfind('$');
    if (s == std::string::npos) break;
    moveToOut(s + 1);  // the front is now the first "$"
    if (s == 0) break;
    std::size_t e = rest.rfind('$', s - 1);
    if (e == std::string::npos) break;
    while (!regionBase.empty() && regionBase.back() > s) regionBase.pop_back();
    std::string name(rest.rbegin() + 1, rest.rbegin() + 1 + static_cast<std::ptrdiff_t>(s - e - 1));
    bool replace = !name.empty() && static_cast<int>(regionBase.size()) < kMaxExpansionDepth &&
                   substitutions < kMaxSubstitutions && Lookup(name, value);
    const std::size_t insLen = value.size() + (quoted ? 2 : 0);
    if (replace && inserted + insLen > kMaxExpandedSize) replace = false;
    if (!replace) {
      moveToOut(e + 1);  // the second "$" may open the next reference
      continue;
    }
    ++substitutions;
    inserted += insLen;
    rest.resize(e);
    for (std::size_t& b : regionBase)
      if (b > e) b = e;  // a region that ended inside the reference now ends with the value
    regionBase.push_back(e);
    if (quoted) rest.push_back('"');
    rest.append(value.rbegin(), value.rend());
    if (quoted) rest.push_back('"');
  }
  out.append(rest.rbegin(), rest.rend());
  return out;
}

std::string Variables::Expand(std::string_view text) const { return ExpandImpl(text, false); }
std::string Variables::ExpandQuoted(std::string_view text) const { return ExpandImpl(text, true); }

std::string Variables::ExpandPath(std::string_view text) const {
  std::string t = Expand(text);
  bool unc = t.size() >= 2 && t[0] == '\\' && t[1] == '\\';
  std::string out = base::ReplaceAll(t, "\\\\", "\\");
  if (unc) out.insert(out.begin(), '\\');
  return out;
}

bool Variables::IsReference(std::string_view s) {
  if (s.size() < 2 || s.front() != '$') return false;
  return s.find('$', 1) == s.size() - 1;
}

std::string Variables::StripReference(std::string_view s) {
  if (IsReference(s)) return std::string(s.substr(1, s.size() - 2));
  return std::string(s);
}

std::string Variables::ValueOfReference(std::string_view nameOrRef, bool missingAsEmpty) const {
  std::string name = StripReference(nameOrRef);
  std::string v;
  if (!Lookup(name, v)) return missingAsEmpty ? std::string() : std::string(kMissingMarker);
  return Expand(v);
}

std::string EncodeNewlines(std::string_view text) { return base::ReplaceAll(text, "\r\n", "$NEWLINE$"); }
std::string DecodeNewlines(std::string_view text) { return base::ReplaceAll(text, "$NEWLINE$", "\r\n"); }

namespace {
std::string CompilerPass(std::string_view text, const std::vector<std::string>& table) {
  std::string t(text);
  if (t.find('#') == std::string::npos) return t;
  for (std::size_t i = 0; i + 1 < table.size(); i += 2) {
    if (table[i].empty()) continue;
    t = base::ReplaceText(t, "#" + table[i] + "#", table[i + 1]);
  }
  return t;
}
}  // namespace

std::string ExpandCompilerVariables(std::string_view text, const std::vector<std::string>& table) {
  std::string once = CompilerPass(text, table);
  if (once.find('$') != std::string::npos && once != text) return CompilerPass(once, table);
  return once;
}

}  // namespace engine
