// User-interface thread time per values reply with 15 devices and 50
// channels: the whole handler (decode, 50 field texts, the window's 50
// value fields) against the plain decode of the same block as baseline,
// both in this run.  Also the time from creating the window to its first
// paint, against an empty form of the component layer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "monitor/comm/logger_blocks.h"
#include "monitor/ui/main_form.h"
#include "tools/kv90sim/sim_logger.h"

namespace fs = std::filesystem;
using namespace kv90;

namespace {

kv90sim::SimConfig FifteenDevices() {
  kv90sim::SimConfig c = kv90sim::SimConfig::Default();
  c.RdTime = 1;
  c.WrTime = 1;
  c.Devices.clear();
  // 15 devices, 50 channels: ten of 3 two-byte channels, five of 4.
  for (int d = 0; d < 15; ++d) c.Devices.push_back({d + 1, 2, 0, d < 10 ? 3 : 4, d % 4});
  c.Reconfigured = c.Devices;
  return c;
}

struct World {
  fs::path root;
  std::unique_ptr<kv90sim::SimServer> sim;
  app::TMainForm* form = nullptr;
  std::string blocks[2];

  World() {
    root = fs::temp_directory_path() / ("kv90bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "Settings");
    const std::string link = (root / "link").string();
    std::ofstream(root / "Settings/Settings.ini") << "[SerialComm]\nCommPort=COM1\n[PortMap]\nCOM1=" << link << "\n";
    sim = std::make_unique<kv90sim::SimServer>(FifteenDevices(), link);
    form = new app::TMainForm(app::PathsForRoot(root.string(), std::string(KV90_LANG_DIR)));
    form->DoCreate();
    form->Show();
    auto& acq = form->Acquisition();
    Wait([&] { return acq.Configured() && acq.SampleStored(); });
    for (auto& b : blocks) {
      const long n = sim->Answered();
      Wait([&] { return sim->Answered() > n && acq.BusyState() == app::Busy::Idle; });
      b = acq.Engine().BlockData;
    }
    acq.ValuesTimer().SetEnabled(false);
    acq.ConfigTimer().SetEnabled(false);
  }
  template <class F>
  void Wait(F done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ~World() {
    form->Close();
    delete form;
    sim.reset();
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

World* g_world = nullptr;

void BM_DecodeOnly_Baseline(benchmark::State& state) {
  const LoggerConfig cfg = g_world->form->Acquisition().Config();
  int i = 0;
  for (auto _ : state) {
    auto v = DecodeMeasuredValues(g_world->blocks[i ^= 1], cfg);
    benchmark::DoNotOptimize(v);
  }
  state.counters["channels"] = app::kValueFields;
}

void BM_ValuesReplyOnUiThread(benchmark::State& state) {
  auto& acq = g_world->form->Acquisition();
  int i = 0;
  for (auto _ : state) {
    acq.Engine().BlockData = g_world->blocks[i ^= 1];
    acq.HandleValuesReply();
  }
  state.counters["channels"] = acq.StoredChannels();
  state.counters["devices"] = acq.ShownDevices();
}

class FirstPaint : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted = true;
    return QObject::eventFilter(o, e);
  }
};

template <class MakeForm>
double MsToFirstPaint(MakeForm make) {
  QElapsedTimer t;
  t.start();
  FirstPaint fp;
  ui::TForm* f = make();
  f->Widget()->installEventFilter(&fp);
  f->Show();
  while (!fp.painted && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
  f->Close();
  delete f;
  return ms;
}

}  // namespace

BENCHMARK(BM_DecodeOnly_Baseline);
BENCHMARK(BM_ValuesReplyOnUiThread);

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  {
    const fs::path root = fs::temp_directory_path() / ("kv90start-" + std::to_string(::getpid()));
    fs::create_directories(root / "Settings");
    const double empty = MsToFirstPaint([] {
      auto* f = new ui::TForm(nullptr);
      f->SetClientWidth(1000);
      f->SetClientHeight(620);
      return f;
    });
    const double main = MsToFirstPaint([&] {
      auto* f = new app::TMainForm(app::PathsForRoot(root.string(), std::string(KV90_LANG_DIR)));
      f->DoCreate();
      return f;
    });
    std::printf("first paint: empty form %.1f ms, main window %.1f ms (ratio %.2f)\n", empty, main, main / empty);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  World world;
  g_world = &world;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_world = nullptr;
  return 0;
}
