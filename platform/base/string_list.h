// TStringList: an ordered list of text lines with optional name=value pairs,
// case-insensitive lookup through a hashed index, and the list's text forms
// (lines, comma text).  Indexes are zero-based; "none" is -1.
//
// Invariant: the hash index maps each distinct (case-folded) line to the
// position of its first occurrence; it is rebuilt lazily after any change,
// so IndexOf is O(1) amortised on a list that is read far more often than
// it is written (the parameter store of a setup script).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/base/text.h"

namespace base {

class TStringList {
 public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> lines) : items_(std::move(lines)) {}

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
  // Out-of-range reads give an empty text rather than throwing.
  std::string Get(int i) const;
  void Set(int i, std::string v);
  int Add(std::string s);
  void Insert(int i, std::string s);
  void Delete(int i);
  void Clear();
  const std::vector<std::string>& Items() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Case-insensitive (CaseSensitive() false, the default) or exact match.
  int IndexOf(std::string_view s) const;
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool v);

  // name=value access.  Names compare like IndexOf.
  int IndexOfName(std::string_view name) const;
  std::string Name(int i) const;            // text before the first '='
  std::string ValueFromIndex(int i) const;  // text after the first '='
  std::string Value(std::string_view name) const;
  void SetValue(std::string_view name, std::string_view value);  // empty value deletes

  // Lines joined with CR LF, a CR LF after each line (the class library's Text).
  std::string Text() const;
  void SetText(std::string_view text);
  std::string CommaText() const { return ToCommaText(items_); }
  void SetCommaText(std::string_view text) { items_ = FromCommaText(text); Touch(); }

  // ANSI (Windows-1252) files with CR LF line ends; UTF-8 inside.
  bool LoadFromFile(const std::string& hostPath);
  bool SaveToFile(const std::string& hostPath) const;

 private:
  void Touch() { indexValid_ = false; nameIndexValid_ = false; }
  void BuildIndex() const;
  void BuildNameIndex() const;

  std::vector<std::string> items_;
  bool caseSensitive_ = false;
  mutable bool indexValid_ = false;
  mutable bool nameIndexValid_ = false;
  mutable std::unordered_map<std::string, int> index_;
  mutable std::unordered_map<std::string, int> nameIndex_;
};

}  // namespace base
