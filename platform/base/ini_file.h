// INI files as both programs use them: sections in brackets, key=value
// lines, keys and sections compared without regard to case, values kept
// verbatim (no quoting).  Comments (';') and blank lines are kept when the
// file is rewritten.
//
// TIniFile writes through: every Write*/Erase*/DeleteKey rewrites the file
// at once, atomically (temporary file, flush, rename), so a crash never
// leaves half a settings file.  Reads see the state of the last load or
// write of this object.  TMemIniFile keeps changes in memory until
// UpdateFile().
//
// Encoding: Ansi (Windows-1252 on disk) or Utf8 (the monitor's language
// files; a UTF-8 byte-order mark is skipped).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace base {

enum class IniEncoding { Ansi, Utf8 };

class TMemIniFile {
 public:
  explicit TMemIniFile(std::string hostPath, IniEncoding enc = IniEncoding::Ansi);
  virtual ~TMemIniFile() = default;

  const std::string& FileName() const { return path_; }
  // True when the file existed and was read at construction / Reload().
  bool Loaded() const { return loaded_; }
  void Reload();
  // Parses text instead of a file (for embedded defaults and tests).
  void SetText(std::string_view utf8Text);
  std::string Text() const;  // UTF-8, CR LF line ends

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  // "1"/"0" as the class library writes; "TRUE"/"FALSE" also read.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  double ReadFloat(std::string_view section, std::string_view key, double def) const;

  virtual void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, long long value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteFloat(std::string_view section, std::string_view key, double value);

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;        // keys
  std::vector<std::string> ReadSectionValues(std::string_view section) const;  // "key=value"
  virtual void EraseSection(std::string_view section);
  virtual void DeleteKey(std::string_view section, std::string_view key);

  // Writes the whole file atomically; false (and errno kept) on failure.
  bool UpdateFile() const;

 protected:
  struct Line { std::string key; std::string value; bool isPair; std::string raw; };
  struct Section { std::string name; std::vector<Line> lines; };
  Section* Find(std::string_view section);
  const Section* Find(std::string_view section) const;

  std::string path_;
  IniEncoding enc_;
  bool loaded_ = false;
  std::vector<Line> preamble_;
  std::vector<Section> sections_;
};

class TIniFile : public TMemIniFile {
 public:
  using TMemIniFile::TMemIniFile;
  void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
  void EraseSection(std::string_view section) override;
  void DeleteKey(std::string_view section, std::string_view key) override;
  // False when the last write-through failed (read-only folder, disk full).
  bool LastWriteOk() const { return lastWriteOk_; }

 private:
  bool lastWriteOk_ = true;
};

}  // namespace base
