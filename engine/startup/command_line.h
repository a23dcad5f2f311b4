// The engine's command line.
//
// Linux hands a program its arguments already split (argv) and has no
// GetCommandLine, yet scripts read the command-line tail (CMDLINE) as the
// text a Windows command line would hold.  BuildCommandLine therefore
// rebuilds that text from argv with the quoting the Windows C runtime
// reverses: an argument without blanks, tabs or quotes is written as it is;
// any other (and an empty one) is enclosed in double quotes, with each quote
// written as \" and the backslashes in front of a quote or of the closing
// quote doubled.  The program name is enclosed in quotes when it holds a
// blank (quotes inside it are dropped: a Windows file name cannot hold one).
// The tail is then taken from that text by the original's rule.
//
// Switch values (/l=, /g=, /m=, /p=) are found in the lower-cased argument,
// as the original does, but the value itself keeps its case: the original
// lower-cased it too, which is harmless on a case-insensitive file system
// and breaks every host path with a capital letter here.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace engine {

struct CommandLine {
  std::string tail;              // the full command line without the program name
  bool silent = false;           // /s or /qn
  bool update = false;           // update
  bool updateSetup = false;      // updatesetup
  std::string groupPolicyPath;   // /g=
  std::string selfExtractorPath; // /m=
  std::string traceLogPath;      // /l= or -l=
  std::string setupSourcesFolder;// /p= or -p=
  std::vector<std::pair<std::string, std::string>> assignments;  // NAME, value
  bool NoWindows() const { return silent || update || updateSetup; }
};

// Quotes one argument the way a Windows command line carries it.
std::string QuoteArgument(const std::string& arg);
// The Windows-form command line of argv (argv[0] is the program name).
std::string BuildCommandLine(const std::vector<std::string>& argv);
// The command line without the program name, by the original's rule.
std::string CommandLineTail(const std::string& commandLine);
// True when arg is "-" or "/" followed by exactly name, ignoring case.
bool IsSwitch(const std::string& arg, const std::string& name);
CommandLine ParseCommandLine(const std::vector<std::string>& argv);

}  // namespace engine
