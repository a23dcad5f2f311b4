// A periodic callback on the user-interface thread.  The engine's dispatch,
// collect and active-read timers are built through a TimerFactory, so the
// engine needs no widgets: the default factory uses QTimer (Qt Core), tests
// may drive the ticks by hand.
#pragma once

#include <functional>
#include <memory>

namespace kv90::comm {

class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
  virtual void SetEnabled(bool on) = 0;
  virtual bool Enabled() const = 0;
};

using TimerFactory = std::function<std::unique_ptr<ITimer>(std::function<void()> onTick)>;

// QTimer on the calling thread (which must run a Qt event loop).
std::unique_ptr<ITimer> MakeQtTimer(std::function<void()> onTick);

// A timer that only remembers its settings; the owner calls the tick.
class TManualTimer final : public ITimer {
 public:
  explicit TManualTimer(std::function<void()> onTick) : tick_(std::move(onTick)) {}
  void SetInterval(int ms) override { interval_ = ms; }
  int Interval() const override { return interval_; }
  void SetEnabled(bool on) override { enabled_ = on; }
  bool Enabled() const override { return enabled_; }
  void Fire() { if (enabled_ && tick_) tick_(); }

 private:
  std::function<void()> tick_;
  int interval_ = 1000;
  bool enabled_ = false;
};

}  // namespace kv90::comm
