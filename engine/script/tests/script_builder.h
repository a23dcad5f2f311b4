// Test helper: writes the compiled script format from a small readable form.
//
//   Name: p1 | p2 | p3      a command with its parameters
//   Name                    a command without a record
//   ~Name: ...              a disabled command
//   [payload=folder\]       (suffix) the command's payload sub-folder
//   [header=E7518F01]       (suffix) the command's header code
//   # text                  ignored
//
// A parameter that is exactly "$" is written as "$DOLLAR$", as the build
// tool does.  Identifiers are made up from the command index.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace scripttest {

struct Meta {
  std::string productCode = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  std::string title = "Demo";
  std::vector<std::string> plugins;
  std::string company = "Ferrix";
  std::string version = "1.0.0";
  int mediaMode = 1;
  std::vector<std::string> componentSizes;
  std::string revisionCode = "{11111111-2222-3333-4444-555555555555}";
  std::vector<std::string> mediaFiles;
  std::string languageDialog = "FALSE";
  std::string defaultLanguage = "English";
  std::vector<std::string> compilerVariables;
  std::vector<std::string> webPasswords;
};

struct Command {
  std::string name;
  std::vector<std::string> params;
  bool hasRecord = false;
  bool disabled = false;
  std::string payload;
  std::string header;
};

std::string Id(int index);
std::vector<Command> ParseReadable(const std::string& text);
// UTF-8 text in the compiled format (CR LF line ends).
std::string Compile(const std::vector<Command>& cmds, const Meta& meta = Meta{});
inline std::string Compile(const std::string& readable, const Meta& meta = Meta{}) {
  return Compile(ParseReadable(readable), meta);
}

}  // namespace scripttest
