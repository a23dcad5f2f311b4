#include <QTimer>

#include "monitor/comm/comm_timer.h"

namespace kv90::comm {

namespace {
class TQtTimer final : public ITimer {
 public:
  explicit TQtTimer(std::function<void()> onTick) {
    QObject::connect(&timer_, &QTimer::timeout, [f = std::move(onTick)] { if (f) f(); });
  }
  void SetInterval(int ms) override { timer_.setInterval(ms); }
  int Interval() const override { return timer_.interval(); }
  void SetEnabled(bool on) override {
    if (on) timer_.start(); else timer_.stop();
  }
  bool Enabled() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};
}  // namespace

std::unique_ptr<ITimer> MakeQtTimer(std::function<void()> onTick) {
  return std::make_unique<TQtTimer>(std::move(onTick));
}

}  // namespace kv90::comm
