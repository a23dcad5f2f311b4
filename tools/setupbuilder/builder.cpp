// Setup builder: see builder.h and README.md.
#include "tools/setupbuilder/builder.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/base/text.h"

namespace fs = std::filesystem;

namespace setupbuilder {
namespace {

std::string Trimmed(const std::string& s) { return base::Trim(s); }

bool SplitKeyValue(const std::string& line, char sep, std::string& key, std::string& value) {
  const std::size_t at = line.find(sep);
  if (at == std::string::npos) return false;
  key = Trimmed(line.substr(0, at));
  value = Trimmed(line.substr(at + 1));
  return true;
}

std::uint32_t Fnv(const std::string& s) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

std::string Guid(std::uint32_t a, std::uint64_t b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{%08X-0000-4000-8000-%012llX}", a, static_cast<unsigned long long>(b));
  return buf;
}

[[noreturn]] void Fail(int line, const std::string& what) {
  throw BuildError("line " + std::to_string(line) + ": " + what);
}

}  // namespace

Source ParseSource(const std::string& text) {
  Source src;
  std::string section;
  Command* current = nullptr;
  const std::vector<std::string> lines = base::SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int no = static_cast<int>(i + 1);
    const std::string& raw = lines[i];
    const std::string t = Trimmed(raw);
    if (t.empty() || raw[0] == '#') continue;
    if (raw[0] == '[') {
      section = base::LowerCase(t);
      current = nullptr;
      if (section != "[setup]" && section != "[plugins]" && section != "[components]" && section != "[mediafiles]" &&
          section != "[passwords]" && section != "[compiler]" && section != "[script]")
        Fail(no, "unknown section " + t);
      continue;
    }
    std::string key, value;
    if (section == "[setup]") {
      if (!SplitKeyValue(raw, '=', key, value)) Fail(no, "expected key = value");
      const std::string k = base::LowerCase(key);
      std::map<std::string, std::string*> fields = {
          {"productcode", &src.productCode}, {"title", &src.title},       {"company", &src.company},
          {"publisher2", &src.publisher2},   {"info1", &src.info1},       {"info2", &src.info2},
          {"legal", &src.legal},             {"version", &src.version},   {"mediamode", &src.mediaMode},
          {"revisioncode", &src.revisionCode}, {"languagedialog", &src.languageDialog},
          {"defaultlanguage", &src.defaultLanguage}};
      const auto it = fields.find(k);
      if (it == fields.end()) Fail(no, "unknown setup key " + key);
      *it->second = value;
    } else if (section == "[plugins]") {
      src.plugins.push_back(t);
    } else if (section == "[components]") {
      if (!SplitKeyValue(raw, '=', key, value)) Fail(no, "expected name = size");
      src.components.emplace_back(key, value);
    } else if (section == "[mediafiles]") {
      std::vector<std::string> parts = base::Split(t, '|');
      if (parts.size() != 3) Fail(no, "expected block | entry | destination");
      for (auto& p : parts) p = Trimmed(p);
      src.mediaFiles.push_back(parts);
    } else if (section == "[passwords]") {
      if (!SplitKeyValue(raw, '=', key, value)) Fail(no, "expected block = password");
      src.passwords.emplace_back(key, value);
    } else if (section == "[compiler]") {
      if (!SplitKeyValue(raw, '=', key, value)) Fail(no, "expected NAME = value");
      src.compilerVars.emplace_back(key, value);
    } else if (section == "[script]") {
      const bool indented = raw[0] == ' ' || raw[0] == '\t';
      if (!indented) {
        src.commands.push_back(Command{});
        current = &src.commands.back();
        current->name = t;
        current->line = no;
        continue;
      }
      if (!current) Fail(no, "attribute before the first command");
      if (t[0] == '>') {
        std::string p = t.size() > 1 && t[1] == ' ' ? raw.substr(raw.find('>') + 2) : raw.substr(raw.find('>') + 1);
        current->params.push_back(p);
      } else if (base::SameText(t, "disabled")) {
        current->disabled = true;
      } else if (base::SameText(t, "norecord")) {
        current->record = false;
      } else if (SplitKeyValue(t, ':', key, value)) {
        const std::string k = base::LowerCase(key);
        if (k == "id") current->id = value;
        else if (k == "folder") current->folder = value;
        else if (k == "header") current->header = value;
        else Fail(no, "unknown attribute " + key);
      } else {
        Fail(no, "expected '> parameter', 'id:', 'folder:', 'header:', 'disabled' or 'norecord'");
      }
    } else {
      Fail(no, "text outside a section");
    }
  }
  return src;
}

std::string ScramblePassword(const std::string& plain) {
  static const char* hex = "0123456789ABCDEF";
  std::string pairs;
  for (unsigned char c : plain) {
    pairs += hex[c & 0xF];  // low digit first
    pairs += hex[c >> 4];
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) pairs[i] = static_cast<char>(pairs[i] ^ static_cast<char>(i % 256));
  return pairs;
}

std::string CompileText(const Source& src) {
  std::vector<std::string> out;
  auto line = [&](const std::string& s, const char* what) {
    if (s == "$") throw BuildError(std::string("a lone \"$\" cannot be stored as ") + what);
    if (s.find_first_of("\r\n") != std::string::npos) throw BuildError(std::string("line break inside ") + what);
    out.push_back(s);
  };
  auto end = [&] { out.push_back("$"); };
  const std::uint32_t seed = Fnv(src.title);
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < src.commands.size(); ++i)
    ids.push_back(src.commands[i].id.empty() ? Guid(seed, i + 1) : src.commands[i].id);

  for (const auto& c : src.commands) line(c.name, "a command name");  // 1
  end();
  for (const auto& id : ids) line(id, "an identifier");  // 2
  end();
  // 3: records grouped by command name, in script order within a name.
  std::vector<std::size_t> order(src.commands.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return src.commands[a].name < src.commands[b].name; });
  for (std::size_t i : order) {
    const Command& c = src.commands[i];
    if (!c.record || c.params.empty()) continue;
    line(ids[i], "an identifier");
    for (const auto& p : c.params) {
      if (p.find_first_of("\r\n") != std::string::npos) Fail(c.line, "line break inside a parameter");
      out.push_back(p == "$" ? "$DOLLAR$" : p);
    }
  }
  end();
  for (const auto& c : src.commands) out.push_back(c.disabled ? "C" : "");  // 4
  end();
  line(src.productCode.empty() ? Guid(seed, 0xFFFFFFFF0001ULL) : src.productCode, "the product code");  // 5
  line(src.title, "the title");  // 6
  for (const auto& p : src.plugins) line(p, "a plug-in name");  // 7
  end();
  for (const std::string* s : {&src.company, &src.publisher2, &src.info1, &src.info2, &src.legal, &src.version})
    line(*s, "a setup value");  // 8-13
  for (const auto& [block, pw] : src.passwords) {  // 14
    line(block, "a block name");
    line(ScramblePassword(pw), "a password");
  }
  end();
  for (const auto& c : src.commands) line(c.folder, "a payload folder");  // 15
  end();
  line(src.mediaMode, "the media mode");  // 16
  for (const auto& [name, size] : src.components) {  // 17
    line(name, "a component");
    line(size, "a component size");
  }
  end();
  line(src.revisionCode.empty() ? Guid(seed, 0xFFFFFFFF0002ULL) : src.revisionCode, "the revision code");  // 18
  for (const auto& t : src.mediaFiles)  // 19
    for (const auto& s : t) line(s, "a media file entry");
  end();
  line(src.languageDialog, "the language dialog flag");  // 20
  line(src.defaultLanguage, "the default language");      // 21
  for (std::size_t i = 0; i < src.commands.size(); ++i) {  // 22
    if (src.commands[i].header.empty()) continue;
    line(src.commands[i].header, "a header code");
    out.push_back(std::to_string(i));
  }
  end();
  for (const auto& [name, value] : src.compilerVars) {  // 23
    line(name, "a compiler variable");
    line(value, "a compiler variable");
  }
  end();

  std::string text;
  for (const auto& s : out) text += s + "\r\n";
  return text;
}

std::string CompileBytes(const Source& source) { return base::Utf8ToCp1252(CompileText(source)); }

void PackFolder(const std::string& folder, const std::string& archivePath) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_filename(a, archivePath.c_str()) != ARCHIVE_OK) {
    const std::string err = archive_error_string(a) ? archive_error_string(a) : "?";
    archive_write_free(a);
    throw BuildError("cannot create " + archivePath + ": " + err);
  }
  std::vector<fs::path> files;
  if (!folder.empty())
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string data = ss.str();
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, fs::relative(f, folder).generic_string().c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_entry_set_mtime(e, std::time(nullptr), 0);
    archive_write_header(a, e);
    archive_write_data(a, data.data(), data.size());
    archive_entry_free(e);
  }
  const int rc = archive_write_close(a);
  archive_write_free(a);
  if (rc != ARCHIVE_OK) throw BuildError("cannot write " + archivePath);
}

}  // namespace setupbuilder
