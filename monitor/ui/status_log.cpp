#include "monitor/ui/status_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/base/datetime.h"
#include "platform/base/files.h"

namespace kv90::app {

std::string LogLine(const std::string& text) {
  const base::TDateTime now = base::Now();
  return "[" + base::DateToStr(now) + "  " + base::TimeToStr(now) + "] : " + text;
}

TStatusLog::TStatusLog(const TLanguage& lang, comm::TimerFactory timers) : lang_(lang) {
  if (!timers) timers = comm::MakeQtTimer;
  clear_ = timers([this] { Clear(); });
  clear_->SetEnabled(false);
}

void TStatusLog::Show(const std::string& text, int durationMs) {
  text_ = text;
  clear_->SetEnabled(false);
  if (durationMs >= 0) {
    clear_->SetInterval(durationMs > 2000 ? durationMs : 4000);
    clear_->SetEnabled(true);
  }
  if (OnChange) OnChange(text_);
}

void TStatusLog::Clear() {
  clear_->SetEnabled(false);
  text_.clear();
  if (OnChange) OnChange(text_);
}

bool TStatusLog::Log(const std::string& text) {
  if (logFile_.empty()) return true;
  std::string dir = base::ExtractFileDir(logFile_);
  if (!dir.empty() && !base::DirectoryExists(dir)) base::ForceDirectories(dir);
  std::string line = LogLine(text) + "\r\n";
  std::FILE* f = std::fopen(logFile_.c_str(), "ab");
  bool ok = f != nullptr;
  int err = errno;
  if (f) {
    ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    if (!ok) err = errno;
    if (std::fclose(f) != 0 && ok) { ok = false; err = errno; }
  }
  if (!ok) Show(lang_.Format(Msg::ErrorOnWriteLogWith, {std::strerror(err)}), -1);
  return ok;
}

}  // namespace kv90::app
