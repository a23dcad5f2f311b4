// Command line: see command_line.h.
#include "engine/startup/command_line.h"

#include "platform/base/text.h"

namespace engine {

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
      out += '"';
    } else {
      out.append(backslashes, '\\');
      out += c;
    }
    backslashes = 0;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string BuildCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  if (!argv.empty()) {
    std::string program;
    for (char c : argv[0])
      if (c != '"') program += c;
    line = program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  }
  for (std::size_t i = 1; i < argv.size(); ++i) line += " " + QuoteArgument(argv[i]);
  return line;
}

std::string CommandLineTail(const std::string& line) {
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    if (close == std::string::npos) return {};
    return close + 2 >= line.size() ? std::string() : line.substr(close + 2);
  }
  const std::size_t blank = line.find(' ');
  return blank == std::string::npos ? std::string() : line.substr(blank + 1);
}

bool IsSwitch(const std::string& arg, const std::string& name) {
  return arg.size() == name.size() + 1 && (arg[0] == '-' || arg[0] == '/') &&
         base::SameText(std::string_view(arg).substr(1), name);
}

CommandLine ParseCommandLine(const std::vector<std::string>& argv) {
  CommandLine cl;
  cl.tail = CommandLineTail(BuildCommandLine(argv));
  struct ValueSwitch {
    std::vector<std::string> markers;
    std::string* target;
  };
  const ValueSwitch values[] = {
      {{"/g="}, &cl.groupPolicyPath},
      {{"/m="}, &cl.selfExtractorPath},
      {{"/l=", "-l="}, &cl.traceLogPath},
      {{"/p=", "-p="}, &cl.setupSourcesFolder},
  };
  for (const ValueSwitch& v : values) {
    for (std::size_t i = 1; i < argv.size(); ++i) {
      const std::string lower = base::LowerCase(argv[i]);
      bool hit = false;
      for (const auto& m : v.markers) hit = hit || lower.find(m) != std::string::npos;
      if (hit) {
        *v.target = argv[i].substr(3);  // case kept, see command_line.h
        break;
      }
    }
  }
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (IsSwitch(a, "s") || IsSwitch(a, "qn")) cl.silent = true;
    if (IsSwitch(a, "update")) cl.update = true;
    if (IsSwitch(a, "updatesetup")) cl.updateSetup = true;
    if (a.empty() || a[0] == '/' || a[0] == '-') continue;
    const std::size_t eq = a.find('=');
    if (eq == std::string::npos) continue;
    cl.assignments.emplace_back(base::UpperCase(a.substr(0, eq)), a.substr(eq + 1));
  }
  return cl;
}

}  // namespace engine
