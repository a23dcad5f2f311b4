// The status line and the log.
//
// A status message goes to panel 0 of the status bar and stays until it is
// replaced (duration -1) or until a one-shot timer clears it (a duration
// above 2000 ms as given, otherwise 4000 ms).  Logging appends one line to
// Settings/Log.txt: "[<short date>  <long time>] : <message>", UTF-8.
// A failed log write never interrupts anything: it puts
// "msg_ErrorOnWriteLogWith" with the system's reason in the status line.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "monitor/comm/comm_timer.h"
#include "monitor/ui/language.h"

namespace kv90::app {

class TStatusLog {
 public:
  TStatusLog(const TLanguage& lang, comm::TimerFactory timers);

  void SetLogFile(const std::string& path) { logFile_ = path; }
  const std::string& LogFile() const { return logFile_; }

  // Shows a text in the status line (durationMs -1: until replaced).
  void Show(const std::string& text, int durationMs);
  // Appends a line to the log; false when it could not be written.
  bool Log(const std::string& text);
  void ShowAndLog(const std::string& text, int durationMs) { Show(text, durationMs); Log(text); }

  const std::string& Text() const { return text_; }
  // Called whenever the status text changes.
  std::function<void(const std::string&)> OnChange;

 private:
  void Clear();

  const TLanguage& lang_;
  std::string logFile_;
  std::string text_;
  std::unique_ptr<comm::ITimer> clear_;
};

// "[date  time] : text" for the present time.
std::string LogLine(const std::string& text);

}  // namespace kv90::app
