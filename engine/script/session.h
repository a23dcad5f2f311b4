// Engine-wide values of one run: start-up fills them, the interpreter reads
// and changes them.  Folder values are Windows-form with a trailing
// backslash.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/script/component_tables.h"

namespace engine {

class Variables;

struct Session {
  std::string engineFolder;       // EXEDIR, ROOTDIR
  std::string exePath;            // EXEFILE (Windows form)
  std::string baseName;           // executable file name without extension
  std::string tempFolder;         // TEMPDIR
  std::string supportFolder;      // SUPPORTDIR (empty until created)
  std::string dataFolder;         // engine folder + "data\"
  std::string resourceArchive;    // engine folder + base name + ".res"
  std::string installerDatabase;  // support folder + base name + ".msi"

  bool silent = false;            // /s, /qn; refreshed from SILENT each step
  bool update = false;            // update
  bool updateSetup = false;       // updatesetup

  std::string traceLogPath;       // /l=; refreshed from LOGGED each step
  std::string commandLineTail;    // CMDLINE
  std::string groupPolicyPath;    // /g=
  std::string selfExtractorPath;  // /m=
  std::string setupSourcesFolder; // /p=
  std::vector<std::pair<std::string, std::string>> assignments;  // NAME=value

  int exitCode = 0;

  // The component tables of the run (cleared by the interpreter before the
  // bootstrap fills them).
  ComponentTables components;

  // Trace writer; start-up installs it.  Empty: tracing off.
  std::function<void(std::string_view)> trace;
  void Trace(std::string_view line) const { if (trace) trace(line); }

  // The variable store the interpreter set (for the caption rule).
  const Variables* variables = nullptr;

  // ZEKOLOGO "TRUE": TITLE; else TITLE + " - Corvane Wizard" when TITLE is
  // set; else "Corvane Wizard".
  std::string Caption() const;
};

// Removes the support folder the way the end of a run does: its contents
// deleted three times in a row (attributes made normal first), then the
// folder itself.  Does nothing when the value is empty or the folder is
// gone.
void RemoveSupportFolder(Session& session);

}  // namespace engine
