// Hidden and compressed folder records (see folder_attributes.h).
#include "engine/startup/folder_attributes.h"

#include "platform/base/ini_file.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/winpath.h"

namespace engine {

namespace {
std::string RecordPath(const machine::Machine& m) { return m.Root() + "/folder_attributes.ini"; }
// Sections name the folder in normalised Windows form, upper case, with a
// trailing backslash, so every spelling of one folder meets one section.
std::string Section(const machine::Machine& m, const std::string& folder) {
  return base::UpperCase(machine::IncludeTrailingBackslash(m.ToWindows(folder)));
}
bool Write(const machine::Machine& m, const std::string& folder, const char* key, bool value) {
  if (folder.empty()) return false;
  base::TMemIniFile ini(RecordPath(m));
  ini.WriteString(Section(m, folder), key, value ? "1" : "0");
  return ini.UpdateFile();
}
std::optional<bool> Read(const machine::Machine& m, const std::string& folder, const char* key) {
  base::TMemIniFile ini(RecordPath(m));
  const std::string section = Section(m, folder);
  if (!ini.ValueExists(section, key)) return std::nullopt;
  return ini.ReadBool(section, key, false);
}
}  // namespace

bool MarkFolderHidden(const machine::Machine& m, const std::string& f) { return Write(m, f, "Hidden", true); }
bool SetFolderCompression(const machine::Machine& m, const std::string& f, bool c) {
  return Write(m, f, "Compressed", c);
}
std::optional<bool> FolderHidden(const machine::Machine& m, const std::string& f) { return Read(m, f, "Hidden"); }
std::optional<bool> FolderCompressed(const machine::Machine& m, const std::string& f) {
  return Read(m, f, "Compressed");
}

}  // namespace engine
