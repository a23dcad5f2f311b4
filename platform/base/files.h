// Host file helpers.  Paths here are host paths (POSIX); Windows-form paths
// are turned into host paths only by platform/machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace base {

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);
std::optional<std::string> ReadFileBytes(const std::string& path);
// Writes via a temporary file in the same folder, fsync, rename, fsync of the
// folder.  The old file stays intact if anything fails.
bool WriteFileAtomic(const std::string& path, std::string_view bytes);
bool FsyncPath(const std::string& path);
std::int64_t FileSize(const std::string& path);  // -1 when missing
std::string ExtractFileName(std::string_view path);   // after the last '/' or '\'
std::string ExtractFileDir(std::string_view path);    // before it, no trailing separator
std::string ExtractFileExt(std::string_view path);    // ".ext" or empty
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string JoinPath(std::string_view a, std::string_view b);  // host, '/'
// Folder of the running executable (host path, no trailing '/').
std::string ExecutableDir();
std::string ExecutablePath();

}  // namespace base
