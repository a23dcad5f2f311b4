// The engine's side of the archive library: listing and extraction of the
// support archive and of media blocks through the four exports of qel.lib.
//
// Paths here are host paths; callers turn Windows-form paths into host paths
// through the machine first.  The library's callbacks carry no user data, so
// the pending password, the overwrite-all choice and the progress handler
// live in thread-local state that each call sets up before it enters the
// library and clears afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine::media {

struct ArchiveEntry {
  std::string path;          // backslash-separated, inside the archive
  std::int64_t size = 0;
  std::int64_t packedSize = 0;
  std::uint64_t fileTimeUtc = 0;  // FILETIME as the library gives it
  double modified = 0;       // local date-time double (days since 1899-12-30)
  std::uint32_t attributes = 0;
  bool IsFolder() const { return (attributes & 0x10u) != 0; }
};

// A failure of the archive library; what() is the engine's text for it.
class ArchiveError : public std::runtime_error {
 public:
  ArchiveError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// The listing texts of the library's error codes.
std::string ListErrorText(int code);

// Lists the archive; throws ArchiveError with the listing texts.
std::vector<ArchiveEntry> ListArchive(const std::string& hostPath, const std::string& password = {});

struct ExtractOptions {
  std::vector<std::string> entries;  // empty: list first and pass every entry
  bool withFolders = true;           // false: every file straight into the target
  bool overwriteAll = false;
  std::string password;
  // (entry path, bytes done, bytes total) -> false stops the extraction.
  std::function<bool(const std::string&, std::int64_t, std::int64_t)> progress;
};

// Extracts into the host folder targetFolder; throws ArchiveError whose text
// is "#" followed by the decimal code of the library.
void ExtractArchive(const std::string& hostPath, const std::string& targetFolder, const ExtractOptions& options = {});

// FILETIME (UTC) -> local date-time double.
double FileTimeToLocalDateTime(std::uint64_t fileTime);

}  // namespace engine::media
