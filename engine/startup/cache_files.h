// The small files of the engine cache besides the choices file:
//
//   "instance.dat"       instance record: product code, revision code,
//                        product title, one ANSI line each
//   base name + ".par"   installer property log: a line with the name, a line
//                        with the value (newline-encoded), per property
//   base name + ".lan"   one line: the run language; no file for no language
//
// Invariant: reading never fails: a missing file, or a missing or empty
// line, keeps the caller's value; writing is atomic.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace engine {

struct InstanceRecord {
  std::string productCode, revisionCode, title;
};

// Replaces the fields of `record` by the non-empty lines of the file (blanks
// around them removed); false when the file does not exist or cannot be
// read (the record is unchanged then).
bool ReadInstanceRecord(const std::string& hostPath, InstanceRecord& record);
bool WriteInstanceRecord(const std::string& hostPath, const InstanceRecord& record);

// Appends the pairs of a property log to `log`; a trailing name without a
// value and pairs with an empty name are skipped.  False when there is no
// readable file.
bool ReadPropertyLog(const std::string& hostPath, std::vector<std::pair<std::string, std::string>>& log);
bool WritePropertyLog(const std::string& hostPath, const std::vector<std::pair<std::string, std::string>>& log);

// The first line of the language file, or empty.
std::string ReadLanguageFile(const std::string& hostPath);
// Writes the language, or removes the file when the language is empty.
bool WriteLanguageFile(const std::string& hostPath, const std::string& language);

}  // namespace engine
