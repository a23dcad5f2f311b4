#include "monitor/ui/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/base/files.h"

namespace kv90::app {

TInstanceLock::TInstanceLock(const std::string& path) {
  const std::string dir = base::ExtractFileDir(path);
  if (!dir.empty() && !base::DirectoryExists(dir)) base::ForceDirectories(dir);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

TInstanceLock::~TInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string AlreadyRunningText() { return std::string("Aplikace ") + "\"Kv90Sw\"" + " je již spuštěna"; }

}  // namespace kv90::app
