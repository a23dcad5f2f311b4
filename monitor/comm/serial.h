// TSerial: one serial link and its polling thread TIdle.
//
// TSerial is what the request engine (TCommModbus) talks to: StartRequest,
// PollResult, Shutdown and the results as last polled.  TIdle runs the
// protocol state machine over an ITransport:
//
//   state  meaning            leaves to
//   0      idle               1 (StartRequest)
//   1      new request        3 (accepted) | 6 (rejected, error 3)
//   3      build frame        4
//   4      50 ms pre-send     2 (sent) | 6 (broadcast: no reply)
//   2      collect reply      5 (reply complete) | 6 (stream end / fatal)
//                             3 (time-out, retry) | 6 (third time-out)
//   5      check / retry      3 (error, attempts left) | 6
//   6      finish, publish    0
//   999    leave the loop
//
// Invariants:
//  1. Every field shared with the user-interface thread lives in Shared and
//     is touched only under `lock_`; the lock is never held across port I/O.
//  2. The thread changes the state only from the value it saw at the start
//     of its pass; a state set meanwhile by the other thread (6 on a
//     cancellation or StopCommunication) wins.
//  3. With nothing to send the thread sleeps on a condition variable, so an
//     open, idle link costs no processor time to speak of.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/comm/transport.h"
#include "monitor/comm/wire.h"

namespace kv90::comm {

// Port options.  The five time-outs are kept and copied for the settings
// file; the POSIX port reads without waiting, so they do not change timing.
struct TCommOptions {
  std::string CommPort = "//./COM1";
  std::int32_t BaudRate = 9600;
  std::uint32_t ReadIntervalTimeout = 50;
  std::uint32_t ReadTotalTimeoutMultiplier = 50;
  std::uint32_t ReadTotalTimeoutConstant = 50;
  std::uint32_t WriteTotalTimeoutMultiplier = 2;
  std::uint32_t WriteTotalTimeoutConstant = 10;

  bool operator==(const TCommOptions&) const = default;
};

// Thread states.
enum ThreadState : int {
  kStIdle = 0, kStNew = 1, kStCollect = 2, kStBuild = 3, kStPreSend = 4,
  kStCheck = 5, kStFinish = 6, kStLeave = 999,
};

// Fixed timing of the link.
constexpr int kPreSendMs = 50;
constexpr int kReplyTimeoutMs = 500;
constexpr int kAttempts = 3;

class TIdle;

class TSerial {
 public:
  // Opens devicePath as a termios port.
  TSerial(const TCommOptions& options, const std::string& devicePath);
  // Runs the link over a ready transport (tests, other carriers).
  TSerial(const TCommOptions& options, std::unique_ptr<ITransport> transport);
  ~TSerial();
  TSerial(const TSerial&) = delete;
  TSerial& operator=(const TSerial&) = delete;

  bool StartRequest(int address, int function, int param, int count, int value);
  void PollResult();
  void Shutdown();
  // Ends the request in progress (state 6) with the error it has now.
  void Stop();
  // Marks the polled result consumed (status 0 here; the thread keeps its own).
  void MarkConsumed() { status_ = 0; }

  bool PortOpen() const { return portOpen_; }
  const std::string& PortPath() const { return portPath_; }
  std::int32_t BaudRate() const { return baud_; }
  int ThreadState() const { return state_; }
  int Status() const { return status_; }
  int ResultError() const { return error_; }
  int ExceptionCode() const { return exception_; }
  bool MultiPart() const { return multiPart_ != 0; }
  // Values 1 to 32; index 0 unused.
  const std::array<std::int32_t, kValueSlots + 1>& Values() const { return values_; }
  const Bytes& BlockData() const { return block_; }
  std::uint32_t DiscardedCount() const { return discarded_; }
  // The thread's line counter, read under the lock.
  int LineCounter() const;
  std::mutex& Lock() const;
  std::uintptr_t ThreadHandle() const;
  std::uint32_t ThreadId() const;

 private:
  void Start(std::unique_ptr<ITransport> transport);

  std::string portPath_;
  std::int32_t baud_ = 9600;
  std::array<std::uint32_t, 5> timeouts_{};
  int state_ = 0;
  int status_ = 0;
  int error_ = 0;
  int exception_ = 0;
  std::uint8_t multiPart_ = 0;
  std::array<std::int32_t, kValueSlots + 1> values_{};
  Bytes block_;
  bool portOpen_ = false;
  std::uint32_t discarded_ = 0;
  std::unique_ptr<TIdle> thread_;
};

}  // namespace kv90::comm
