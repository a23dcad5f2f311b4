// The compiled setup script in memory.
//
// A compiled script is Windows-1252 text, CR LF line ends, made of "lists"
// (lines up to a line that is exactly "$") and single "lines", in a fixed
// order (see ParseScript).  The loader never fails: a truncated script leaves
// the later lists empty, a missing terminator lets the current list swallow
// what follows, and the validator finds structural faults before anything
// runs.
//
// Invariants:
//  1. Only the parameter store gets the "$DOLLAR$" / "$WILD_DOLLAR$" -> "$"
//     replacement, and only for lines that are exactly one of those markers
//     (any letter case).  Everything else is kept verbatim, unexpanded.
//  2. Parameter n of a command is the n-th line after the first store line
//     equal (any case) to the command's identifier.  The loader finds every
//     record head in one hashed pass over the store, so a lookup is two
//     array reads whatever the script size.
//  3. A parameter read never runs into the next record: a line at or past
//     the start of another command's record, or past the end of the store,
//     reads as empty.  (A record shorter than the parameters a command reads
//     therefore gives empty parameters, not its neighbour's lines.)
//  4. Per-command lists (names, identifiers, disabled flags, payload
//     folders) may be shorter than the command list; missing entries read
//     as empty (enabled, no payload folder, no identifier).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/string_list.h"

namespace engine {

struct Script {
  // The five lists handed to the interpreter, indexed by command index.
  base::TStringList commandNames;    // list 1
  base::TStringList commandIds;      // list 2
  base::TStringList params;          // list 3, after the "$" replacement
  base::TStringList disabled;        // list 4: "C" = disabled
  base::TStringList payloadFolders;  // list 15

  base::TStringList pluginCommands;  // list 7

  // Engine-wide values.
  std::string productCode;     // line 5
  std::string title;           // line 6
  std::string company;         // line 8
  std::string publisher2;      // line 9 (kept, unused)
  std::string info1;           // line 10 (kept, unused)
  std::string info2;           // line 11 (kept, unused)
  std::string legalNotice;     // line 12 (kept, unused)
  std::string version;         // line 13
  int mediaMode = 0;           // line 16 (0 when not a number)
  std::string revisionCode;    // line 18
  bool languageDialog = false; // line 20 is exactly "TRUE"
  std::string languageDialogLine;  // line 20 as written
  std::string defaultLanguage;     // line 21

  // Flat tables, read in pairs or triples.
  base::TStringList webPasswords;       // list 14: block, scrambled password
  base::TStringList componentSizes;     // list 17: name, size
  base::TStringList mediaFiles;         // list 19: block, entry path, destination
  base::TStringList commandHeaders;     // list 22: header code, command index
  base::TStringList compilerVariables;  // list 23: name, value

  int Count() const { return commandNames.Count(); }
  std::string Name(int commandIndex) const { return commandNames.Get(commandIndex); }
  std::string Id(int commandIndex) const { return commandIds.Get(commandIndex); }
  bool Disabled(int commandIndex) const { return disabled.Get(commandIndex) == "C"; }
  bool Enabled(int commandIndex) const { return !Disabled(commandIndex); }
  std::string PayloadFolder(int commandIndex) const { return payloadFolders.Get(commandIndex); }
  bool IsPluginCommand(std::string_view name) const;

  // Parameter n (n >= 1) of a command; n == 0 gives the identifier line.
  // Empty when the command has no record or the record is too short.
  std::string Param(int commandIndex, int n) const;
  // The command's 8-hex-digit header code, or empty.
  std::string HeaderCode(int commandIndex) const;
  // Size paired with the component name (any case), or 0.
  std::uint64_t ComponentSize(std::string_view name) const;
  // Unscrambled password of a web-media block, falling back to "offline".
  std::string WebPassword(std::string_view block) const;
  // Value of a compiler variable (any case), or empty.
  std::string CompilerVariable(std::string_view name) const;

  // Builds the record-start table behind Param(); ParseScript calls it.
  // Call again after editing params or commandIds by hand.
  void Reindex();

 private:
  // Built by Reindex: per command, the store position of its record head
  // (-1 when it has none) and the end of that record (the next record head
  // or the end of the store); the header code per command.
  std::vector<int> recordPos_;
  std::vector<int> recordEnd_;
  std::vector<std::string> headerOf_;
  std::string SlowParam(int commandIndex, int n) const;
};

// Parses compiled-script text that is already UTF-8.
Script ParseScriptText(std::string_view utf8Text);
// Parses compiled-script bytes in Windows-1252.
Script ParseScript(std::string_view ansiBytes);
// Reads a host file, converts Windows-1252 to UTF-8 and parses it.
// A missing or unreadable file gives an empty script; never throws.
Script LoadScript(const std::string& hostPath);

// Web-media password unscrambling: XOR each character with its position
// (mod 256), then read hex pairs with the low digit first.
std::string UnscramblePassword(std::string_view stored);

}  // namespace engine
