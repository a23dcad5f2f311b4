#include "monitor/comm/serial.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cassert>
#include <chrono>

#include "monitor/comm/serial_port.h"

namespace kv90::comm {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The polling thread.  Fields under "shared" are guarded by mu.
class TIdle {
 public:
  explicit TIdle(std::unique_ptr<ITransport> t) : port_(std::move(t)) {}
  ~TIdle() { Join(); }

  void Run() {
    thread_ = std::thread([this] {
      tid_ = static_cast<std::uint32_t>(::syscall(SYS_gettid));
      // One step below normal priority.
      if (::nice(1) == -1) { /* priority is a hint only */ }
      Execute();
    });
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // ---- shared with the user-interface thread (under mu) ----
  mutable std::mutex mu;
  std::condition_variable wake;
  int state = kStIdle;
  int status = 0;
  int error = 0;
  int exception = 0;
  std::uint8_t multiPart = 0;
  std::array<std::int32_t, kValueSlots + 1> values{};
  Bytes block;
  int lineCounter = 0;
  std::uint32_t discarded = 0;
  WireRequest request;
  bool terminate = false;

  std::unique_ptr<ITransport> port_;
  std::thread thread_;
  std::atomic<std::uint32_t> tid_{0};

 private:
  void Execute();
  void Pass(int seen);
  // Sets the state when it is still `from` (invariant 2).
  bool Move(int from, int to) {
    std::lock_guard<std::mutex> g(mu);
    if (state != from) return false;
    state = to;
    return true;
  }

  // ---- private to the thread ----
  WireRequest cur_;
  Bytes frame_;
  ReplyCollector collector_;
  int retries_ = 0;
  int timeouts_ = 0;
  Clock::time_point lastActivity_{};
  Clock::time_point prepared_{};
};

void TIdle::Execute() {
  for (;;) {
    int seen;
    {
      std::unique_lock<std::mutex> g(mu);
      if (state == kStLeave || (terminate && state == kStIdle)) break;
      if (state == kStIdle) {
        // Nothing to send: sleep until a request, a stop or a maintenance tick.
        wake.wait_for(g, milliseconds(200));
        seen = state;
        if (seen == kStIdle) {
          g.unlock();
          port_->Maintain();
          continue;
        }
      }
      seen = state;
    }
    Pass(seen);
    if (seen == kStCollect) {
      if (port_->BytesAvailable() == 0)
        port_->WaitReadable(1);
      else
        std::this_thread::sleep_for(milliseconds(1));
    } else if (seen == kStPreSend) {
      const auto due = prepared_ + milliseconds(kPreSendMs);
      if (Clock::now() < due) std::this_thread::sleep_until(std::min(due, Clock::now() + milliseconds(5)));
    }
  }
  std::lock_guard<std::mutex> g(mu);
  state = kStIdle;
}

namespace {
[[maybe_unused]] bool KnownState(int s) {
  switch (s) {
    case kStIdle: case kStNew: case kStCollect: case kStBuild:
    case kStPreSend: case kStCheck: case kStFinish: case kStLeave: return true;
  }
  return false;
}
}  // namespace

void TIdle::Pass(int seen) {
  assert(KnownState(seen));
  const auto now = Clock::now();
  // Reply time-out while a request is running.
  {
    bool running;
    {
      std::lock_guard<std::mutex> g(mu);
      running = status == 1 && state == seen;
    }
    if (running && (seen == kStCollect || seen == kStPreSend || seen == kStCheck) &&
        now >= lastActivity_ + milliseconds(kReplyTimeoutMs)) {
      ++timeouts_;
      const bool stream = cur_.function == kFuncBlock && cur_.param == kSubLogger;
      std::lock_guard<std::mutex> g(mu);
      if (state == seen) {
        if (stream || timeouts_ >= kAttempts) {
          error = kErrNoReply;
          state = kStFinish;
        } else {
          state = kStBuild;
        }
      }
      return;
    }
  }

  switch (seen) {
    case kStNew: {
      std::lock_guard<std::mutex> g(mu);
      if (state != kStNew) return;
      retries_ = 0;
      timeouts_ = 0;
      error = 0;
      exception = 0;
      cur_ = request;
      multiPart = cur_.function == kFuncBlock ? 1 : 0;
      if (!RequestAccepted(cur_)) {
        error = kErrRejected;
        state = kStFinish;
      } else {
        status = 1;
        state = kStBuild;
      }
      return;
    }
    case kStBuild: {
      if (!port_->IsOpen()) port_->Maintain();  // a device that went away may be back
      frame_ = BuildFrame(cur_);
      {
        std::lock_guard<std::mutex> g(mu);
        if (state != kStBuild) return;
        multiPart = cur_.function == kFuncBlock ? 1 : 0;
        discarded = 0;
        lineCounter = 0;
        state = kStPreSend;
      }
      lastActivity_ = prepared_ = Clock::now();
      return;
    }
    case kStPreSend: {
      if (now < prepared_ + milliseconds(kPreSendMs)) return;
      port_->PurgeAll();
      port_->WriteFrame(frame_);
      collector_.Begin(cur_);
      Move(kStPreSend, cur_.address == 0 ? kStFinish : kStCollect);
      return;
    }
    case kStCollect: {
      Bytes chunk;
      for (int guard = 0; guard < 4096; ++guard) {
        if (!port_->ReadBytes(static_cast<std::size_t>(collector_.Want()), chunk)) return;
        // Each chunk restarts the reply time-out, but the count of time-outs
        // goes on: a device that answers only half a block every time still
        // ends the request after the third time-out.
        lastActivity_ = Clock::now();
        const auto outcome = collector_.Feed(chunk);
        std::lock_guard<std::mutex> g(mu);
        if (state != kStCollect) return;
        lineCounter = collector_.lines();
        if (outcome == ReplyCollector::Outcome::NeedMore) continue;
        error = collector_.error();
        exception = collector_.exception();
        state = outcome == ReplyCollector::Outcome::Check ? kStCheck : kStFinish;
        return;
      }
      return;
    }
    case kStCheck: {
      ++retries_;
      std::lock_guard<std::mutex> g(mu);
      if (state != kStCheck) return;
      state = (error != 0 && retries_ < kAttempts) ? kStBuild : kStFinish;
      return;
    }
    case kStFinish: {
      Bytes published;
      std::uint32_t dropped = 0;
      const bool block = cur_.function == kFuncBlock;
      int err;
      {
        std::lock_guard<std::mutex> g(mu);
        err = error;
      }
      // Post-processing runs outside the lock; only its result is published.
      if (block && err == 0) published = PostProcessStream(collector_.block(), cur_.count, dropped);
      std::lock_guard<std::mutex> g(mu);
      if (state != kStFinish) return;
      if (block) {
        this->block = err == 0 ? std::move(published) : Bytes();
        discarded = dropped;
        lineCounter = collector_.lines();
      } else {
        values = collector_.values();
        lineCounter = -1;
      }
      collector_.block().clear();
      collector_.block().shrink_to_fit();
      state = kStIdle;
      request.function = 0;
      status = 2;
      return;
    }
    default:
      return;
  }
}

// ---------------------------------------------------------------------------

TSerial::TSerial(const TCommOptions& options, const std::string& devicePath) {
  portPath_ = options.CommPort;
  baud_ = options.BaudRate;
  timeouts_ = {options.ReadIntervalTimeout, options.ReadTotalTimeoutMultiplier,
               options.ReadTotalTimeoutConstant, options.WriteTotalTimeoutMultiplier,
               options.WriteTotalTimeoutConstant};
  Start(std::make_unique<TPosixSerialPort>(devicePath, options.BaudRate));
}

TSerial::TSerial(const TCommOptions& options, std::unique_ptr<ITransport> transport) {
  portPath_ = options.CommPort;
  baud_ = options.BaudRate;
  timeouts_ = {options.ReadIntervalTimeout, options.ReadTotalTimeoutMultiplier,
               options.ReadTotalTimeoutConstant, options.WriteTotalTimeoutMultiplier,
               options.WriteTotalTimeoutConstant};
  Start(std::move(transport));
}

void TSerial::Start(std::unique_ptr<ITransport> transport) {
  thread_ = std::make_unique<TIdle>(std::move(transport));
  portOpen_ = thread_->port_->IsOpen();
  {
    std::lock_guard<std::mutex> g(thread_->mu);
    thread_->status = 0;
    thread_->error = 0;
    thread_->exception = 0;
    thread_->state = kStIdle;
  }
  thread_->port_->PurgeAll();
  thread_->Run();
}

TSerial::~TSerial() {
  if (thread_) Shutdown();
}

std::mutex& TSerial::Lock() const { return thread_->mu; }

int TSerial::LineCounter() const {
  if (!thread_) return 0;
  std::lock_guard<std::mutex> g(thread_->mu);
  return thread_->lineCounter;
}

std::uintptr_t TSerial::ThreadHandle() const {
  if (!thread_ || !thread_->thread_.joinable()) return 0;
  return static_cast<std::uintptr_t>(const_cast<std::thread&>(thread_->thread_).native_handle());
}

std::uint32_t TSerial::ThreadId() const {
  if (!thread_) return 0;
  for (int i = 0; i < 1000 && thread_->tid_ == 0; ++i) std::this_thread::sleep_for(milliseconds(1));
  return thread_->tid_;
}

bool TSerial::StartRequest(int address, int function, int param, int count, int value) {
  if (!thread_) return false;
  PollResult();
  TIdle& t = *thread_;
  {
    std::lock_guard<std::mutex> g(t.mu);
    if (status_ == 1) {
      t.error = kErrRejected;
      t.exception = 0;
      if (t.state != kStIdle) t.state = kStFinish;
      return false;
    }
    t.request = WireRequest{address, function, param, count, value};
    t.state = kStNew;
  }
  t.wake.notify_one();
  return true;
}

void TSerial::PollResult() {
  if (!thread_) return;
  TIdle& t = *thread_;
  std::lock_guard<std::mutex> g(t.mu);
  multiPart_ = t.multiPart;
  if (multiPart_ == 0) {
    values_ = t.values;
  } else {
    discarded_ = t.discarded;
    block_.clear();
    if (t.status == 2 && t.error == 0 && t.state == kStIdle) block_ = t.block;
  }
  state_ = t.state;
  status_ = t.status;
  error_ = t.error;
  exception_ = t.exception;
}

void TSerial::Stop() {
  if (!thread_) return;
  std::lock_guard<std::mutex> g(thread_->mu);
  if (thread_->state != kStIdle && thread_->state != kStLeave) {
    // A request stopped before it had an error is cancelled, not a success.
    if (thread_->error == 0) thread_->error = kErrRejected;
    thread_->state = kStFinish;
  }
}

void TSerial::Shutdown() {
  if (!thread_) return;
  TIdle& t = *thread_;
  {
    std::lock_guard<std::mutex> g(t.mu);
    t.terminate = true;
  }
  t.wake.notify_one();
  // Let the request in progress finish (or time out), then leave.
  for (;;) {
    PollResult();
    if (state_ == kStIdle) break;
    std::this_thread::sleep_for(milliseconds(1));
  }
  {
    std::lock_guard<std::mutex> g(t.mu);
    t.state = kStLeave;
  }
  t.wake.notify_one();
  t.Join();
  t.port_->Close();
  portOpen_ = false;
  thread_.reset();
}

}  // namespace kv90::comm
