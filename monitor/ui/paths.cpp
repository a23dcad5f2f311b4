#include "monitor/ui/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <fcntl.h>

#include "monitor/ui/language.h"
#include "platform/base/files.h"

namespace kv90::app {

bool FolderWritable(const std::string& dir) {
  if (!base::DirectoryExists(dir) && !base::ForceDirectories(dir)) return false;
  std::string probe = dir + "/.kv90sw-write-test-" + std::to_string(::getpid());
  int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

namespace {
std::string PerUserRoot() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/Kv90Sw";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/Kv90Sw";
}

std::string PickLangDir(const std::string& root, const std::string& programDir) {
  std::string own = root + "/Lang";
  if (!ListLanguages(own).empty()) return own;
  return programDir + "/Lang";
}
}  // namespace

TAppPaths ResolvePaths(const std::string& programDir) {
  TAppPaths p;
  p.ProgramDir = programDir;
  const char* home = std::getenv("KV90SW_HOME");
  if (home && *home) {
    p.Root = home;
  } else if (FolderWritable(programDir)) {
    p.Root = programDir;
  } else {
    p.Root = PerUserRoot();
    p.PerUser = true;
  }
  p.LangDir = PickLangDir(p.Root, programDir);
  return p;
}

TAppPaths PathsForRoot(const std::string& root, const std::string& langDir) {
  TAppPaths p;
  p.ProgramDir = root;
  p.Root = root;
  p.LangDir = langDir.empty() ? root + "/Lang" : langDir;
  return p;
}

}  // namespace kv90::app
