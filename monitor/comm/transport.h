// The narrow transport under the polling thread: the four raw primitives
// of a serial port plus a wait, so that a termios port, a pseudo-terminal or
// a test double can carry the link.
//
// Contract:
//  1. ReadBytes(n) takes bytes only when at least n are already received;
//     otherwise it returns false and takes nothing.  No call blocks longer
//     than the timeout given to WaitReadable().
//  2. A transport that is not open writes nothing and reads nothing.
//  3. Implementations need not be thread-safe: only the polling thread uses
//     one after construction.
#pragma once

#include <cstddef>
#include <string>

namespace kv90::comm {

class ITransport {
 public:
  virtual ~ITransport() = default;
  virtual bool IsOpen() const = 0;
  // One write of the whole frame; result ignored by the protocol.
  virtual void WriteFrame(const std::string& frame) = 0;
  // Bytes received and not yet taken.
  virtual std::size_t BytesAvailable() = 0;
  // Exactly n bytes into `out` when that many are waiting; else false.
  virtual bool ReadBytes(std::size_t n, std::string& out) = 0;
  // Drops everything received and not yet sent.
  virtual void PurgeAll() = 0;
  // Waits up to timeoutMs for more input (or a hang-up); may return early.
  virtual void WaitReadable(int timeoutMs) = 0;
  // Called by the polling thread when idle: a transport whose device went
  // away may try to reopen it here.  Returns IsOpen().
  virtual bool Maintain() { return IsOpen(); }
  virtual void Close() = 0;
};

}  // namespace kv90::comm
