// The setup builder: readable script source -> compiled script, support
// archive, and a setup folder (engine + appended script, qel.lib, .res, .msi).
// See README.md for the source format.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace setupbuilder {

struct Command {
  std::string name;
  std::string id;          // empty: generated
  bool disabled = false;
  bool record = true;      // false: no parameter record even with parameters
  std::string folder;      // payload sub-folder
  std::string header;      // 8-hex-digit header code
  std::vector<std::string> params;
  int line = 0;            // source line, for messages
};

struct Source {
  // [setup]
  std::string productCode, title = "Setup", company, publisher2, info1, info2, legal, version = "1.0.0";
  std::string mediaMode = "1", revisionCode, languageDialog = "FALSE", defaultLanguage = "English";
  std::vector<std::string> plugins;                                // [plugins]
  std::vector<std::pair<std::string, std::string>> components;     // [components]
  std::vector<std::vector<std::string>> mediaFiles;                // [mediafiles], triples
  std::vector<std::pair<std::string, std::string>> passwords;      // [passwords], plain text
  std::vector<std::pair<std::string, std::string>> compilerVars;   // [compiler]
  std::vector<Command> commands;                                   // [script]
};

class BuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Source ParseSource(const std::string& utf8Text);
// The compiled script as UTF-8 text with CR LF line ends.
std::string CompileText(const Source& source);
// The same in Windows-1252, as it is appended to the engine.
std::string CompileBytes(const Source& source);
// The stored form of a web-media password.
std::string ScramblePassword(const std::string& plain);
// Packs the files below folder (may be empty: an empty archive) into a zip.
void PackFolder(const std::string& folder, const std::string& archivePath);

}  // namespace setupbuilder
