// A monitor folder of its own and a simulated logger on a pseudo-terminal,
// for the tests of the acquisition cycle and the main window.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "monitor/ui/paths.h"
#include "tools/kv90sim/sim_logger.h"

namespace kv90test {

namespace fs = std::filesystem;

// The environment of the test runner may lack these (a list-valued test
// property is split by the test discovery); the build's own paths stand in.
inline std::string SourceDir() {
  const char* s = std::getenv("TEST_SOURCE_DIR");
#ifdef KV90_SOURCE_DIR
  if (!s || !*s) return KV90_SOURCE_DIR;
#endif
  return s ? s : ".";
}

inline std::string BinDir() {
  const char* s = std::getenv("TEST_BIN_DIR");
#ifdef KV90_BIN_DIR
  if (!s || !*s) return KV90_BIN_DIR;
#endif
  return s ? s : "build/bin";
}

// Runs the event loop until `done` or the time is up.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ::usleep(2000);
  }
  return true;
}

struct MonitorFolder {
  fs::path root;
  std::string link;

  MonitorFolder() {
    static int n = 0;
    root = fs::temp_directory_path() / ("kv90mon-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::remove_all(root);
    fs::create_directories(root / "Settings");
    fs::create_directories(root / "Lang");
    for (const char* f : {"Czech.lng", "English.lng"})
      fs::copy_file(SourceDir() + "/monitor/ui/Lang/" + f, root / "Lang" / f);
    link = (root / "kv90.link").string();
    WriteSettings("");
  }
  ~MonitorFolder() {
    std::error_code ec;
    if (!std::getenv("KV90_KEEP_TEST_FOLDERS")) fs::remove_all(root, ec);
  }
  // Settings.ini: English texts, COM1 mapped to the simulator's link.
  void WriteSettings(const std::string& extra, const std::string& lang = "English.lng") const {
    std::ofstream(root / "Settings/Settings.ini", std::ios::binary)
        << "[Application]\r\nLang=" << lang << "\r\n[SerialComm]\r\nCommPort=COM1\r\nBaudRate=9600\r\n"
        << "[PortMap]\r\nCOM1=" << link << "\r\n" << extra;
  }
  kv90::app::TAppPaths Paths() const { return kv90::app::PathsForRoot(root.string()); }
  std::string Text(const fs::path& rel) const {
    std::ifstream in(root / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

inline kv90sim::SimConfig FastLogger(long memoryLines = 200) {
  kv90sim::SimConfig c = kv90sim::SimConfig::Default();
  c.RdTime = 1;
  c.WrTime = 1;
  c.MemoryLines = memoryLines;
  return c;
}

inline QCoreApplication* EnsureApp() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "kv90test";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
  }
  return QCoreApplication::instance();
}

}  // namespace kv90test
