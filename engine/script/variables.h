// The variable store: every piece of state a setup script can see.
//
// Invariants:
//  1. Names compare without regard to case; the spelling of the first
//     definition is kept.  Values are plain text.
//  2. One mutex guards the store; every operation, reads included, holds it
//     for its own duration only.  Expansion takes it once per reference
//     lookup, never for a whole text, so a worker's set may show up in the
//     middle of an expansion.
//  3. Expansion always terminates.  An inserted value is expanded again
//     (so "$A$" whose value is "$TITLE$" gives the title), but a reference
//     that lies inside text produced by kMaxExpansionDepth nested
//     substitutions is left as written, at most kMaxSubstitutions
//     references are replaced per call, and no substitution is made once
//     the text would grow beyond kMaxExpandedSize bytes.  A value that
//     refers to itself therefore expands a bounded number of times and the
//     remaining reference stays in the text, dollar signs included.
//  4. In silent mode a set from any source other than
//     "Inject Override Command Line" never changes a variable named on the
//     command line (the command line wins over the script).
//  5. Snapshot order is the order in which names were first defined.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/text.h"

namespace engine {

inline constexpr int kMaxExpansionDepth = 32;
inline constexpr int kMaxSubstitutions = 100000;
inline constexpr std::size_t kMaxExpandedSize = 16u * 1024u * 1024u;

inline constexpr std::string_view kSourceCommandLine = "Inject Override Command Line";
inline constexpr std::string_view kMissingMarker = "$ZEKONX$";

class Variables {
 public:
  bool Exists(std::string_view name) const;
  std::string Get(std::string_view name) const;
  // Insert or replace, no further rule.
  void Put(std::string_view name, std::string_view value);
  // Nothing for an empty name; set when the name exists; else insert.
  void Define(std::string_view name, std::string_view value, std::string_view source);
  // The guarded assignment (invariant 4); defines a missing name.
  void Set(std::string_view name, std::string_view value, std::string_view source);
  void Clear();
  // name, value, name, value ...
  std::vector<std::string> Snapshot() const;
  std::string SnapshotCommaText() const;
  // Splits a comma text into name, value pairs and puts each.
  void PutCommaText(std::string_view commaText);
  std::size_t Size() const;

  // Silent mode and the command-line names for the guarded assignment.
  void SetSilent(bool silent);
  bool Silent() const;
  void SetCommandLineNames(std::vector<std::string> upperNames);

  // $NAME$ expansion.
  std::string Expand(std::string_view text) const;
  // As Expand, each inserted value wrapped in double quotes.
  std::string ExpandQuoted(std::string_view text) const;
  // Expand, then "\\" -> "\" (a leading pair is kept).
  std::string ExpandPath(std::string_view text) const;
  // The expanded value of a name written bare or as $NAME$; kMissingMarker
  // (or empty text, with missingAsEmpty) when it does not exist.
  std::string ValueOfReference(std::string_view nameOrRef, bool missingAsEmpty = false) const;

  // Name with its enclosing dollar signs removed when written as $NAME$
  // (begins with "$" and the next "$" is its last character).
  static std::string StripReference(std::string_view nameOrRef);
  static bool IsReference(std::string_view nameOrRef);

 private:
  struct Entry { std::string name; std::string value; };
  std::string ExpandImpl(std::string_view text, bool quoted) const;
  bool Lookup(std::string_view name, std::string& value) const;
  void PutLocked(std::string_view name, std::string_view value);

  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return base::TextHash(s); }
  };
  struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return base::SameText(a, b); }
  };

  mutable std::mutex mu_;
  std::vector<Entry> entries_;  // definition order
  std::unordered_map<std::string, std::size_t, NameHash, NameEqual> index_;
  bool silent_ = false;
  std::vector<std::string> commandLineNames_;
};

// CR LF -> "$NEWLINE$" and back, for values kept in the engine's files.
std::string EncodeNewlines(std::string_view text);
std::string DecodeNewlines(std::string_view text);

// #NAME# replacement from the compiler-variable table (name, value pairs),
// all occurrences, any case; when the result holds "$" and differs from the
// input, the replacement is applied once more to the result.
std::string ExpandCompilerVariables(std::string_view text, const std::vector<std::string>& table);

}  // namespace engine
