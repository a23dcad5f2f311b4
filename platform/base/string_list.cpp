// TStringList implementation.
#include "platform/base/string_list.h"

#include "platform/base/files.h"

namespace base {
namespace {
std::string Key(std::string_view s, bool caseSensitive) {
  return caseSensitive ? std::string(s) : UpperCase(s);
}
}  // namespace

std::string TStringList::Get(int i) const {
  if (i < 0 || i >= Count()) return {};
  return items_[static_cast<std::size_t>(i)];
}

void TStringList::Set(int i, std::string v) {
  items_.at(static_cast<std::size_t>(i)) = std::move(v);
  Touch();
}

int TStringList::Add(std::string s) {
  items_.push_back(std::move(s));
  int pos = Count() - 1;
  // Keep a valid index valid: appending never moves earlier first positions.
  if (indexValid_) index_.try_emplace(Key(items_.back(), caseSensitive_), pos);
  nameIndexValid_ = false;
  return pos;
}

void TStringList::Insert(int i, std::string s) {
  items_.insert(items_.begin() + i, std::move(s));
  Touch();
}

void TStringList::Delete(int i) {
  items_.erase(items_.begin() + i);
  Touch();
}

void TStringList::Clear() {
  items_.clear();
  Touch();
}

void TStringList::SetCaseSensitive(bool v) {
  caseSensitive_ = v;
  Touch();
}

void TStringList::BuildIndex() const {
  index_.clear();
  index_.reserve(items_.size());
  for (int i = 0; i < Count(); ++i) index_.try_emplace(Key(items_[static_cast<std::size_t>(i)], caseSensitive_), i);
  indexValid_ = true;
}

void TStringList::BuildNameIndex() const {
  nameIndex_.clear();
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = items_[static_cast<std::size_t>(i)];
    auto eq = s.find('=');
    if (eq == std::string::npos) continue;
    nameIndex_.try_emplace(Key(std::string_view(s).substr(0, eq), caseSensitive_), i);
  }
  nameIndexValid_ = true;
}

int TStringList::IndexOf(std::string_view s) const {
  if (!indexValid_) BuildIndex();
  auto it = index_.find(Key(s, caseSensitive_));
  return it == index_.end() ? -1 : it->second;
}

int TStringList::IndexOfName(std::string_view name) const {
  if (!nameIndexValid_) BuildNameIndex();
  auto it = nameIndex_.find(Key(name, caseSensitive_));
  return it == nameIndex_.end() ? -1 : it->second;
}

std::string TStringList::Name(int i) const {
  std::string s = Get(i);
  auto eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int i) const {
  std::string s = Get(i);
  auto eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStringList::Value(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i >= 0) Set(i, std::move(line));
  else Add(std::move(line));
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& s : items_) {
    out += s;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  items_ = SplitLines(text);
  Touch();
}

bool TStringList::LoadFromFile(const std::string& hostPath) {
  auto bytes = ReadFileBytes(hostPath);
  if (!bytes) return false;
  SetText(Cp1252ToUtf8(*bytes));
  return true;
}

bool TStringList::SaveToFile(const std::string& hostPath) const {
  return WriteFileAtomic(hostPath, Utf8ToCp1252(Text()));
}

}  // namespace base
