// Windows-form path helpers on plain strings.
//
// Script-visible paths are Windows-form: a drive letter and colon ("C:"),
// backslashes, folder values ending with a backslash, UNC paths starting with
// their leading pair ("\\server\share\...").  These helpers only look at the
// text; they never touch the host file system (that is Machine::ToHost's job).
// Both '\' and '/' count as separators when reading; results use '\'.
#pragma once

#include <string>
#include <string_view>

namespace machine {

inline bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

// Adds a backslash unless the path already ends with '\' or '/'.
// An empty path stays empty.
std::string IncludeTrailingBackslash(std::string_view path);
// Removes every trailing separator, except that a drive root keeps its own
// ("C:\" stays "C:\") and a bare separator stays.
std::string ExcludeTrailingBackslash(std::string_view path);
// Everything up to and including the last separator or the drive colon
// ("C:\a\b.txt" -> "C:\a\", "C:b.txt" -> "C:"); empty without either.
std::string ExtractFilePath(std::string_view path);
// Everything after the last separator or the drive colon.
std::string ExtractFileName(std::string_view path);
// ".ext" of the file name (the last dot of the name), or empty.
std::string ExtractFileExt(std::string_view path);
// Replaces (or adds) the extension of the file name; ext includes its dot.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// "\\server\share..." (either separator), not "\\?\C:\" long-path forms.
bool IsUncPath(std::string_view path);
// A drive letter with colon and separator ("C:\"), or a UNC path.
bool IsAbsolutePath(std::string_view path);
// "C:" prefix: the upper-case drive letter, or 0 when there is none.
char DriveLetter(std::string_view path);

}  // namespace machine
