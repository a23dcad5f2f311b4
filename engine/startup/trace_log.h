// The engine's trace log.
//
//  1. With an empty path the writer does nothing.
//  2. The first line written in the process truncates (creates) the file;
//     every line after it is appended.
//  3. On an NT-family profile each line plus CR LF is appended as UTF-16LE
//     without a byte-order mark; on 9x as ANSI (Windows-1252) plus CR LF.
//  4. A trace that cannot be written is dropped: tracing never stops a setup.
//
// The path may be Windows-form or a host path; the resolver (the machine's
// ToHost, which takes a relative path from the working folder) turns it into
// a host path; without a resolver the path is used as it is.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace engine {

class TraceLog {
 public:
  using Resolver = std::function<std::string(std::string_view)>;

  TraceLog() = default;
  TraceLog(Resolver toHost, bool ntFamily) : toHost_(std::move(toHost)), nt_(ntFamily) {}

  void SetPath(std::string path);
  const std::string& Path() const { return path_; }
  void SetNtFamily(bool nt) { nt_ = nt; }
  void Write(std::string_view line);
  // A callable for Session::trace.
  std::function<void(std::string_view)> Writer() {
    return [this](std::string_view line) { Write(line); };
  }

 private:
  std::string HostPath() const;

  Resolver toHost_;
  bool nt_ = true;
  std::string path_;
  bool started_ = false;
  std::mutex mutex_;
};

}  // namespace engine
