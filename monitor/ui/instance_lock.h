// One running monitor per data folder: an exclusive lock on
// Settings/Kv90Sw.lock, held for the whole run.  The system drops the lock
// when the process ends in any way (also a crash or a kill), so a dead
// instance never blocks the next start.
#pragma once

#include <string>

namespace kv90::app {

class TInstanceLock {
 public:
  // Tries to take the lock; Held() tells whether it was taken.
  explicit TInstanceLock(const std::string& path);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// "Aplikace "Kv90Sw" je již spuštěna"
std::string AlreadyRunningText();
constexpr const char* kAlreadyRunningCaption = "Upozornění";

}  // namespace kv90::app
