// kv90probe: reads a logger's configuration, present values and (with
// --memory) its stored lines over the request engine, and prints them
// decoded.  A quick check that a port and a logger talk.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "monitor/comm/comm_modbus.h"
#include "monitor/comm/logger_blocks.h"
#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/text.h"

using namespace kv90::comm;

namespace {
void Usage() {
  std::puts("usage: kv90probe --device PATH [--address N] [--memory]\n"
            "       kv90probe --settings Settings.ini [--port COMn] [--address N] [--memory]\n"
            "PATH is a serial device or a link made by kv90sim --link.");
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string device, settings, port;
  int address = 251;
  bool memory = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
    if (a == "--device") device = next();
    else if (a == "--settings") settings = next();
    else if (a == "--port") port = next();
    else if (a == "--address") address = static_cast<int>(base::StrToIntDef(next(), 251));
    else if (a == "--memory") memory = true;
    else { Usage(); return a == "-h" || a == "--help" ? 0 : 2; }
  }
  std::string tempDir;
  if (settings.empty() && port.empty()) port = "COM1";
  if (settings.empty()) {
    if (device.empty()) { Usage(); return 2; }
    char tmpl[] = "/tmp/kv90probe.XXXXXX";
    if (!mkdtemp(tmpl)) { std::perror("mkdtemp"); return 1; }
    tempDir = tmpl;
    settings = tempDir + "/Settings.ini";
    base::WriteFileAtomic(settings, "[PortMap]\r\n" + port + "=" + device + "\r\n");
  }

  int rc = 1;
  {
    TCommModbus comm;
    comm.SetSettingsFile(settings);  // [SerialComm] and [PortMap]
    if (!port.empty()) {
      TCommOptions o = comm.CommOptions();
      o.CommPort = port;
      comm.SetCommOptions(o);
    }
    if (!comm.OpenLink(false)) {
      std::fprintf(stderr, "kv90probe: cannot open %s (%s)\n", comm.CommOptions().CommPort.c_str(),
                   comm.DevicePath().empty() ? "no device" : comm.DevicePath().c_str());
    } else {
      kv90::LoggerConfig cfg;
      kv90::ConfigBlock fields;
      auto request = [&](int dev, int regCount) {
        auto t = comm.CommRequest();
        t[static_cast<std::size_t>(dev)][0].Active = 1;
        t[static_cast<std::size_t>(dev)][0].DevAddress = address;
        t[static_cast<std::size_t>(dev)][0].RegCount = regCount;
        comm.SetCommRequest(t);
      };
      auto fail = [&](const char* what) {
        std::fprintf(stderr, "kv90probe: %s failed: %s\n", what, LinkErrorText(comm.SerialLinkError()));
        app.exit(1);
      };
      TCommRequest table(3);
      const char* names[] = {"Konfigurace", "Merena data", "Datalogger"};
      for (int d = 0; d < 3; ++d) {
        TDeviceComm r;
        r.ReqKind = 2;
        r.FuncCode = kFuncBlock;
        r.FuncParam = d + 1;
        r.DevAddress = address;
        r.BlockName = names[d];
        r.ValueType = 10;
        table[static_cast<std::size_t>(d)].push_back(r);
      }
      table[2][0].OnReceived = [&](TCommModbus& c) {
        if (c.BlockData == "ERROR") return fail("logger memory");
        const int L = kv90::LineByteCount(cfg);
        const std::string& b = c.BlockData;
        const std::size_t n = b.size() >= 6 ? (b.size() - 6) / static_cast<std::size_t>(L) : 0;
        std::printf("memory: %zu lines, %u discarded\n", n, c.VarDataLenErrCnt());
        for (std::size_t i = 0; i < n; i += (n > 3 ? n - 1 : 1)) {
          const auto line = kv90::DecodeLoggerLine(std::string_view(b).substr(6 + i * static_cast<std::size_t>(L), static_cast<std::size_t>(L)), cfg);
          std::printf("  line %zu: %s", i, base::FormatDateTime("yyyy-mm-dd hh:nn:ss", line.Time).c_str());
          for (double v : line.Values) std::printf(" %g", v);
          std::printf("\n");
        }
        rc = 0;
        app.quit();
      };
      table[1][0].OnReceived = [&](TCommModbus& c) {
        if (c.BlockData == "ERROR") return fail("values");
        std::string_view b = c.BlockData;
        std::printf("values (%d bytes):\n", kv90::ValuesReturnDataCnt(b));
        int lastDev = -1;
        for (const auto& v : kv90::DecodeMeasuredValues(b, cfg)) {
          if (v.Device != lastDev) std::printf("  %s:", kv90::DeviceCaption(cfg, v.Device).c_str());
          lastDev = v.Device;
          std::printf(" %s=%s", kv90::ChannelName(cfg, v.Device, v.Channel).c_str(), v.Text.c_str());
          if (v.Channel + 1 == kv90::ChannelCount(cfg.Devices[static_cast<std::size_t>(v.Device)])) std::printf("\n");
        }
        if (memory) {
          request(2, kv90::LineByteCount(cfg));
        } else {
          rc = 0;
          app.quit();
        }
      };
      table[0][0].OnReceived = [&](TCommModbus& c) {
        if (c.BlockData == "ERROR") return fail("configuration");
        kv90::DecodeConfigBlock(c.BlockData, fields, cfg);
        std::printf("logger %s version %u, reading every %u s, logging every %u min, %u/%u segments, %u lines set\n",
                    kv90::DeviceNameText(cfg.DevName).c_str(), cfg.DevVer, cfg.RdTime, cfg.WrTime,
                    fields.SegmentAktCnt, fields.SegmentCnt, fields.SegmentSetCnt);
        for (int d = 0; d < cfg.DeviceCount; ++d) {
          const auto& e = cfg.Devices[static_cast<std::size_t>(d)];
          std::printf("  device %d: %s, address %u, register %u, %u words, format %u, %d channels\n", d + 1,
                      kv90::DeviceTypeName(e.Type), e.Address, e.Register, e.Words, e.Format, kv90::ChannelCount(e));
        }
        request(1, kv90::MeasuredByteCount(cfg));
      };
      comm.SetCommBlockCount(3);
      comm.SetCommRequest(table);
      comm.SetActiveDevices({-1, -1, -1});
      comm.SetEnableDevices({0, 0, 0});
      request(0, kv90::kConfigDataLength);
      QTimer::singleShot(memory ? 600000 : 15000, &app, [&] {
        std::fprintf(stderr, "kv90probe: no answer in time\n");
        app.exit(1);
      });
      app.exec();
      comm.CloseLink();
    }
  }
  if (!tempDir.empty()) {
    ::unlink(settings.c_str());
    ::rmdir(tempDir.c_str());
  }
  return rc;
}
