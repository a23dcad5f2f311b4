#include "platform/machine/winpath.h"

namespace machine {
namespace {

// Index just past the drive colon ("C:" -> 2), or 0.
std::size_t DrivePrefixLength(std::string_view p) {
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
    return 2;
  return 0;
}

// Position just past the last separator or drive colon, 0 if none.
std::size_t NameStart(std::string_view p) {
  std::size_t start = DrivePrefixLength(p);
  for (std::size_t i = p.size(); i > start; --i)
    if (IsPathDelimiter(p[i - 1])) return i;
  return start;
}

}  // namespace

char DriveLetter(std::string_view path) {
  if (DrivePrefixLength(path) == 0) return 0;
  char c = path[0];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (!r.empty() && !IsPathDelimiter(r.back())) r += '\\';
  return r;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::size_t n = path.size();
  std::size_t keep = DrivePrefixLength(path) ? 3 : 1;  // "C:\" or "\"
  while (n > keep && IsPathDelimiter(path[n - 1])) --n;
  return std::string(path.substr(0, n));
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::size_t start = NameStart(path);
  std::string_view name = path.substr(start);
  std::size_t dot = name.rfind('.');
  std::string r(path.substr(0, dot == std::string_view::npos ? path.size() : start + dot));
  r += ext;
  return r;
}

bool IsUncPath(std::string_view path) {
  if (path.size() < 3 || !IsPathDelimiter(path[0]) || !IsPathDelimiter(path[1])) return false;
  // "\\?\" and "\\.\" are long-path and device prefixes, not servers.
  if ((path[2] == '?' || path[2] == '.') && (path.size() == 3 || IsPathDelimiter(path[3])))
    return false;
  return !IsPathDelimiter(path[2]);
}

bool IsAbsolutePath(std::string_view path) {
  if (IsUncPath(path)) return true;
  return DrivePrefixLength(path) == 2 && path.size() >= 3 && IsPathDelimiter(path[2]);
}

}  // namespace machine
