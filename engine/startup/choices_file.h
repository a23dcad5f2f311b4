// The choices file of the engine cache (base name + ".dat"): what the user
// chose in a run, read back by later runs of the same product.
//
// ANSI (Windows-1252) text with CR LF lines:
//   1. six lists, each ended by a line "$": component names, component
//      states (one per name), the deleted, hidden and locked lists, the
//      component size table (name, size pairs);
//   2. TARGETDIR, ALLUSERS, STARTMENU, one line each;
//   3. the data folder line (see DataFolderLine), or an empty line;
//   4. name / value line pairs: the persistent variables, then
//      "ZEKO64WOW" with the platform mode, then "OVERRIDECACHE" with its
//      value.
// Values, and list items, are newline-encoded ("$NEWLINE$"); a list item
// that is exactly "$" is written "$DOLLAR$" so that it cannot end its list.
//
// Invariants:
//  1. Reading never fails and never throws: what cannot be read keeps the
//     caller's defaults.  The lists count only when all six terminators are
//     there (a truncated file or a missing "$" leaves the component tables
//     as they are); the three single lines count when present; a pair needs
//     both lines and a name without "$" or control characters.
//  2. Writing is atomic (temporary file, then rename): a reader sees the old
//     file or the new one, never half of one.
//  3. An update keeps the six lists of the existing file line for line and
//     replaces everything after them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/string_list.h"

namespace engine {

struct ChoicesData {
  bool hasLists = false;  // all six lists were read
  base::TStringList names, states, deleted, hidden, locked, sizes;
  std::optional<std::string> targetDir, allUsers, startMenu;
  std::optional<std::string> dataFolder;  // the data folder line, decoded
  std::vector<std::pair<std::string, std::string>> pairs;  // values decoded, file order
};

inline constexpr const char* kPlatformModeName = "ZEKO64WOW";
inline constexpr const char* kOverrideCacheName = "OVERRIDECACHE";

// Parses the bytes of a choices file (Windows-1252).
ChoicesData ParseChoices(std::string_view ansiBytes);
// Reads a host file; a missing or unreadable file gives nullopt.
std::optional<ChoicesData> ReadChoicesFile(const std::string& hostPath);

// The file's text (UTF-8 inside, CR LF) for data that has lists.
std::string FormatChoices(const ChoicesData& data);
// Writes the whole file (Windows-1252, atomically); false on failure.
bool WriteChoicesFile(const std::string& hostPath, const ChoicesData& data);
// Keeps the six lists of the existing file and writes the rest from `data`;
// a file that is missing or whose lists cannot be read is written whole
// from `data`.
bool UpdateChoicesFile(const std::string& hostPath, const ChoicesData& data);

// A value as one line of the engine's files: CR LF, and a lone CR or LF
// too, become "$NEWLINE$" (a bare line break would split the value and
// shift every line after it).
std::string EncodeFileLine(std::string_view value);

// The data folder line: the folder in Windows form with one trailing
// backslash (forward slashes turned round); empty for an empty folder.
std::string DataFolderLine(const std::string& windowsFolder);

}  // namespace engine
