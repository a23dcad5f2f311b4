// setupengine: process entry.  Pins the process to its first processor
// before any thread exists (so every later thread inherits it), creates the
// Qt application and runs start-up; the process ends with the low 8 bits of
// the exit code (see ExitStatus).
#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/startup/startup.h"

int main(int argc, char** argv) {
  engine::PinToFirstProcessor();
  // Without a display (a run on a server) Qt would abort on start.  The
  // offscreen platform lets the engine run; as nobody could answer a message
  // box there, boxes go to standard error and take their default button.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("SETUPENGINE_MSGBOX_LOG")) setenv("SETUPENGINE_MSGBOX_LOG", "/dev/stderr", 1);
  }
  std::vector<std::string> args(argv, argv + argc);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  return engine::ExitStatus(engine::RunEngine(args));
}
