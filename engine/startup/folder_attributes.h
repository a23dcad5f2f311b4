// Folder attributes that only mean something on Windows: hidden, and NTFS
// compression.  The host file system has neither, so the machine keeps the
// engine's choice as a record in its folder ("folder_attributes.ini", one
// section per folder, keys Hidden and Compressed, "1" or "0") and nothing
// changes on the host.  A small adapter beside the machine layer, which has
// no file attributes of its own.
#pragma once

#include <optional>
#include <string>

namespace machine {
class Machine;
}

namespace engine {

bool MarkFolderHidden(const machine::Machine& m, const std::string& windowsFolder);
bool SetFolderCompression(const machine::Machine& m, const std::string& windowsFolder, bool compressed);
// The recorded attribute, nullopt when none was recorded.
std::optional<bool> FolderHidden(const machine::Machine& m, const std::string& windowsFolder);
std::optional<bool> FolderCompressed(const machine::Machine& m, const std::string& windowsFolder);

}  // namespace engine
