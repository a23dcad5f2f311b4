// Shared pieces of the link tests: a Qt event loop for the engine's timers,
// temporary folders, and counts of this process's threads and descriptors.
#pragma once

#include <QCoreApplication>
#include <QThread>

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "monitor/comm/serial.h"

namespace linktest {

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "kv90comm_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

// Runs the event loop until pred() or the time is up; true when pred() held.
inline bool RunUntil(const std::function<bool()>& pred, int timeoutMs) {
  App();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct TempDir {
  std::string path;
  TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "kv90link.XXXXXX").string();
    path = mkdtemp(t.data()) ? t : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}
inline int ThreadCount() { return CountEntries("/proc/self/task"); }
inline int FdCount() { return CountEntries("/proc/self/fd"); }

// One request run to its end through TSerial, as the engine's poll would.
struct Outcome {
  int error = -1;
  int exception = 0;
  kv90::comm::Bytes block;
  std::array<std::int32_t, 33> values{};
  std::uint32_t discarded = 0;
  int lines = 0;
  long ms = 0;
  bool finished = false;
};

inline Outcome RunRequest(kv90::comm::TSerial& s, kv90::comm::WireRequest r, int timeoutMs = 15000) {
  Outcome o;
  const auto t0 = std::chrono::steady_clock::now();
  if (!s.StartRequest(r.address, r.function, r.param, r.count, r.value)) return o;
  const auto end = t0 + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    s.PollResult();
    if (s.Status() == 2 && s.ThreadState() == 0) {
      o.finished = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  o.ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
  o.error = s.ResultError();
  o.exception = s.ExceptionCode();
  o.block = s.BlockData();
  o.values = s.Values();
  o.discarded = s.DiscardedCount();
  o.lines = s.LineCounter();
  s.MarkConsumed();
  return o;
}

}  // namespace linktest
