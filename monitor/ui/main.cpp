// Kv90Sw: one instance per data folder, then the main window and the loop.
#include <QApplication>
#include <QElapsedTimer>
#include <memory>
#include <QEvent>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "monitor/ui/instance_lock.h"
#include "monitor/ui/main_form.h"
#include "monitor/ui/paths.h"
#include "platform/base/files.h"
#include "platform/ui/dialogs.h"

namespace {

// Reports the time from start to the first painted main window when
// KV90SW_TIMING is set (used for the start-up measurement).
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QElapsedTimer& t) : t_(t) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::fprintf(stderr, "Kv90Sw: first paint after %lld ms\n", static_cast<long long>(t_.elapsed()));
    }
    return QObject::eventFilter(o, e);
  }

 private:
  QElapsedTimer& t_;
  bool done_ = false;
};

// SIGTERM, SIGINT and SIGHUP close the window the ordinary way (the link
// and the database are closed and the log says so) instead of killing the
// program in the middle of a write.
int g_signalPipe[2] = {-1, -1};
void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  QApplication app(argc, argv);
  const kv90::app::TAppPaths paths = kv90::app::ResolvePaths(base::ExecutableDir());

  kv90::app::TInstanceLock lock(paths.LockFile());
  if (!lock.Held()) {
    const std::string text = kv90::app::AlreadyRunningText();
    std::fprintf(stderr, "%s\n", text.c_str());
    if (std::getenv("KV90SW_NO_DIALOGS")) return 1;
    ui::MessageBox(text, kv90::app::kAlreadyRunningCaption, ui::MB_OK | ui::MB_ICONWARNING);
    return 1;
  }

  auto* form = new kv90::app::TMainForm(paths);
  form->DoCreate();
  std::unique_ptr<QSocketNotifier> stopNotifier;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
    stopNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, [form] {
      char c;
      [[maybe_unused]] auto n = ::read(g_signalPipe[0], &c, 1);
      form->Close();
    });
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, OnSignal);
  }
  FirstPaint fp(started);
  if (std::getenv("KV90SW_TIMING")) form->Widget()->installEventFilter(&fp);
  ui::Application().Run(form);
  delete form;
  return 0;
}
