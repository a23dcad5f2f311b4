#include "engine/script/tests/script_builder.h"

#include <cstdio>
#include <sstream>

namespace scripttest {

std::string Id(int index) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{A0000000-0000-4000-8000-%012d}", index);
  return buf;
}

static std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<Command> ParseReadable(const std::string& text) {
  std::vector<Command> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    Command c;
    if (t[0] == '~') {
      c.disabled = true;
      t = Trim(t.substr(1));
    }
    for (const char* tag : {"[payload=", "[header="}) {
      std::size_t p = t.rfind(tag);
      if (p == std::string::npos) continue;
      std::size_t q = t.find(']', p);
      std::string v = t.substr(p + std::string(tag).size(), q - p - std::string(tag).size());
      (std::string(tag) == "[payload=" ? c.payload : c.header) = v;
      t = Trim(t.erase(p, q - p + 1));
    }
    std::size_t colon = t.find(": ");
    if (colon == std::string::npos && !t.empty() && t.back() == ':') colon = t.size() - 1;
    if (colon == std::string::npos) {
      c.name = t;
    } else {
      c.name = t.substr(0, colon);
      c.hasRecord = true;
      std::string rest = colon + 2 <= t.size() ? t.substr(colon + 2) : std::string();
      std::size_t start = 0;
      while (true) {
        std::size_t bar = rest.find(" | ", start);
        std::string p = rest.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        c.params.push_back(p == "|" ? "" : p);
        if (bar == std::string::npos) break;
        start = bar + 3;
      }
      // "a | " at the end means a last empty parameter
      if (!rest.empty() && rest.size() >= 2 && rest.substr(rest.size() - 2) == " |") {
        c.params.back() = c.params.back().substr(0, c.params.back().size() - 2);
        c.params.push_back("");
      }
    }
    out.push_back(std::move(c));
  }
  return out;
}

std::string Compile(const std::vector<Command>& cmds, const Meta& m) {
  std::string o;
  auto line = [&](const std::string& s) { o += s; o += "\r\n"; };
  auto end = [&] { line("$"); };
  auto list = [&](const std::vector<std::string>& v) { for (auto& s : v) line(s); end(); };
  for (auto& c : cmds) line(c.name);
  end();
  for (std::size_t i = 0; i < cmds.size(); ++i) line(Id(static_cast<int>(i)));
  end();
  for (std::size_t i = 0; i < cmds.size(); ++i) {
    if (!cmds[i].hasRecord) continue;
    line(Id(static_cast<int>(i)));
    for (auto& p : cmds[i].params) line(p == "$" ? "$DOLLAR$" : p);
  }
  end();
  for (auto& c : cmds) line(c.disabled ? "C" : "");
  end();
  line(m.productCode);
  line(m.title);
  list(m.plugins);
  line(m.company);
  line("Second publisher");
  line("Info 1");
  line("Info 2");
  line("All rights reserved");
  line(m.version);
  list(m.webPasswords);
  for (auto& c : cmds) line(c.payload);
  end();
  line(std::to_string(m.mediaMode));
  list(m.componentSizes);
  line(m.revisionCode);
  list(m.mediaFiles);
  line(m.languageDialog);
  line(m.defaultLanguage);
  for (std::size_t i = 0; i < cmds.size(); ++i)
    if (!cmds[i].header.empty()) {
      line(cmds[i].header);
      line(std::to_string(i));
    }
  end();
  list(m.compilerVariables);
  return o;
}

}  // namespace scripttest
