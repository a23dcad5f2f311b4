// Trace log: see trace_log.h.
#include "engine/startup/trace_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/base/text.h"

namespace engine {

void TraceLog::SetPath(std::string path) {
  std::lock_guard lock(mutex_);
  path_ = std::move(path);
}

std::string TraceLog::HostPath() const { return toHost_ ? toHost_(path_) : path_; }

void TraceLog::Write(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  const std::string host = HostPath();
  if (host.empty()) return;
  const std::string text = std::string(line) + "\r\n";
  const std::string bytes = nt_ ? base::Utf8ToUtf16LE(text) : base::Utf8ToCp1252(text);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (started_ ? O_APPEND : O_TRUNC);
  started_ = true;
  const int fd = ::open(host.c_str(), flags, 0644);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace engine
