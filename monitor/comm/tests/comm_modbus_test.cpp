// The request engine with its Qt timers against the logger simulator: the
// main window's three block requests, register requests with their value
// decoding, failure counting, one-shot and repeated requests, settings.
#include <gtest/gtest.h>

#include "monitor/comm/comm_modbus.h"
#include "monitor/comm/logger_blocks.h"
#include "monitor/comm/serial_port.h"
#include "monitor/comm/tests/link_helpers.h"
#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "tools/kv90sim/sim_logger.h"

using namespace kv90::comm;
using linktest::RunUntil;

namespace {
// An engine whose port COM7 is mapped to the simulator's terminal.
struct Rig {
  // The Qt application exists before the engine makes its timers.
  QCoreApplication& app = linktest::App();
  linktest::TempDir dir;
  kv90sim::SimServer sim{kv90sim::SimConfig::Default()};
  TCommModbus comm;
  Rig() {
    const std::string ini = dir / "Settings.ini";
    base::WriteFileAtomic(ini, "[SerialComm]\r\nCommPort=com7\r\n[PortMap]\r\nCOM7=" + sim.DevicePath() + "\r\n");
    comm.SetSettingsFile(ini);
  }
  TDeviceComm Block(int sub, int count) {
    TDeviceComm r;
    r.DevAddress = 251;
    r.ReqKind = 2;
    r.FuncCode = kFuncBlock;
    r.FuncParam = sub;
    r.RegCount = count;
    r.ValueType = 10;
    return r;
  }
};
}  // namespace

TEST(CommModbus, WindowCycleConfigurationValuesMemory) {
  Rig rig;
  ASSERT_TRUE(rig.comm.OpenLink(true));
  EXPECT_EQ(rig.sim.DevicePath(), rig.comm.DevicePath());
  EXPECT_NE(0u, rig.comm.SerialThrID());
  kv90::LoggerConfig cfg;
  kv90::ConfigBlock fields;
  std::vector<std::string> seen;
  TCommRequest t(3);
  t[0].push_back(rig.Block(1, 188));
  t[1].push_back(rig.Block(2, 0));
  t[2].push_back(rig.Block(3, 0));
  t[0][0].OnReceived = [&](TCommModbus& c) {
    seen.push_back("config");
    ASSERT_TRUE(kv90::DecodeConfigBlock(c.BlockData, fields, cfg));
    // A callback edits the table: the next request.
    auto table = c.CommRequest();
    table[1][0].Active = 1;
    table[1][0].RegCount = kv90::MeasuredByteCount(cfg);
    c.SetCommRequest(table);
  };
  t[1][0].OnReceived = [&](TCommModbus& c) {
    seen.push_back("values");
    EXPECT_EQ(kv90::TotalChannels(cfg), static_cast<int>(kv90::DecodeMeasuredValues(c.BlockData, cfg).size()));
    auto table = c.CommRequest();
    table[2][0].Active = 1;
    table[2][0].RegCount = kv90::LineByteCount(cfg);
    c.SetCommRequest(table);
  };
  t[2][0].OnReceived = [&](TCommModbus& c) {
    seen.push_back("memory");
    EXPECT_EQ(6u + 200u * static_cast<unsigned>(kv90::LineByteCount(cfg)), c.BlockData.size());
    EXPECT_EQ(200, c.ReadLineDataCnt());
    EXPECT_EQ(0u, c.VarDataLenErrCnt());
  };
  t[0][0].Active = 1;
  rig.comm.SetCommBlockCount(3);
  rig.comm.SetCommRequest(t);
  rig.comm.SetActiveDevices({-1, -1, -1});
  rig.comm.SetEnableDevices({0, 0, 0});
  ASSERT_TRUE(RunUntil([&] { return seen.size() == 3; }, 20000)) << seen.size();
  EXPECT_EQ((std::vector<std::string>{"config", "values", "memory"}), seen);
  EXPECT_EQ(5, cfg.DeviceCount);
  EXPECT_EQ(0, rig.comm.CommLinkError()[2]);
  // One-shot: nothing more is sent.
  const long answered = rig.sim.Answered();
  RunUntil([] { return false; }, 800);
  EXPECT_EQ(answered, rig.sim.Answered());
  EXPECT_TRUE(rig.comm.CloseLink());
  EXPECT_TRUE(rig.comm.CommRequest().empty());
  EXPECT_FALSE(rig.comm.CommOpen());
}

TEST(CommModbus, FailedBlocksCountAndRecover) {
  Rig rig;
  ASSERT_TRUE(rig.comm.OpenLink(false));
  rig.sim.InjectFault(kv90sim::Fault::BadCrc, -1);
  int calls = 0;
  TCommRequest t(1);
  t[0].push_back(rig.Block(1, 188));
  t[0][0].Repeat = 1;
  t[0][0].Active = 1;
  std::vector<int> failures;
  t[0][0].OnReceived = [&](TCommModbus& c) {
    ++calls;
    failures.push_back(c.CommLinkError()[0]);
    if (calls <= 5) {
      EXPECT_EQ("ERROR", c.BlockData);
    }
    if (calls == 5) rig.sim.ClearFaults();
  };
  rig.comm.SetCommRequest(t);
  ASSERT_TRUE(RunUntil([&] { return calls >= 6; }, 30000));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 4, 0}), std::vector<int>(failures.begin(), failures.begin() + 6));
  EXPECT_EQ(kErrNone, rig.comm.SerialLinkError());
  EXPECT_EQ(196u, rig.comm.BlockData.size());
}

TEST(CommModbus, RegisterValuesAndActiveReadData) {
  Rig rig;
  // Pairs of registers: low 10, 20, ... and high words 0.
  for (int i = 0; i < 10; ++i) rig.sim.SetRegister(i, i % 2 ? 0 : static_cast<std::uint16_t>(10 * (i / 2 + 1)));
  rig.sim.SetRegister(40, 0x8000);
  rig.sim.SetRegister(41, 0x8001);
  ASSERT_TRUE(rig.comm.OpenLink(false));
  TDeviceComm pairs;
  pairs.DevAddress = 251;
  pairs.ReqKind = 0;
  pairs.RegAddress = 0;
  pairs.RegCount = 10;
  pairs.ValueSize = 2;
  pairs.ValueType = 10;
  pairs.Divisor = 0;  // read back as 1
  TDeviceComm words = pairs;
  words.RegAddress = 40;
  words.RegCount = 2;
  words.ValueSize = 1;
  words.ValueType = 5;
  std::vector<std::array<std::int32_t, 33>> got;
  pairs.OnReceived = words.OnReceived = [&](TCommModbus& c) { got.push_back(c.LastValues()); };
  pairs.Active = words.Active = 1;
  TCommRequest t(2);
  t[0].push_back(pairs);
  t[1].push_back(words);
  rig.comm.SetCommRequest(t);
  rig.comm.SetEnableDevices({1, 0});
  EXPECT_EQ(1, rig.comm.CommRequest()[0][0].Divisor);
  EXPECT_EQ(12, rig.comm.MeasureValueCount());
  ASSERT_TRUE(RunUntil([&] { return got.size() == 2; }, 10000));
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(10 * i, got[0][static_cast<std::size_t>(i)]) << i;
  for (int i = 6; i <= 32; ++i) EXPECT_EQ(kValueMissing, got[0][static_cast<std::size_t>(i)]) << i;
  EXPECT_EQ(32768, got[1][1]);
  EXPECT_EQ(-32767, got[1][2]);
  const TRealArray data = rig.comm.ActiveReadData();
  ASSERT_EQ(12u, data.size());
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(10.0 * (i + 1), data[static_cast<std::size_t>(i)]);
  for (int i = 5; i < 10; ++i) EXPECT_DOUBLE_EQ(-1004.0, data[static_cast<std::size_t>(i)]);
  // Device 1 is not enabled: its slots carry -1000.
  EXPECT_DOUBLE_EQ(-1000.0, data[10]);
  EXPECT_DOUBLE_EQ(-1000.0, data[11]);
}

TEST(CommModbus, FailedRegisterRequestsMarkTheirValues) {
  Rig rig;
  rig.sim.InjectFault(kv90sim::Fault::BadCrc, -1);
  ASSERT_TRUE(rig.comm.OpenLink(false));
  TDeviceComm r;
  r.DevAddress = 251;
  r.RegCount = 3;
  r.Repeat = 1;
  r.Active = 1;
  std::vector<std::int32_t> firstValue;
  r.OnReceived = [&](TCommModbus& c) { firstValue.push_back(c.LastValues()[1]); };
  rig.comm.SetCommRequest(TCommRequest{{r}});
  ASSERT_TRUE(RunUntil([&] { return firstValue.size() >= 5; }, 30000));
  EXPECT_EQ((std::vector<std::int32_t>{kValueFailed, kValueFailed, kValueFailed, kValueFailedLong, kValueFailedLong}),
            std::vector<std::int32_t>(firstValue.begin(), firstValue.begin() + 5));
}

TEST(CommModbus, StopCommunicationEndsTheRequest) {
  Rig rig;
  rig.sim.InjectFault(kv90sim::Fault::Silence, -1);
  ASSERT_TRUE(rig.comm.OpenLink(false));
  bool done = false;
  TCommRequest t(1);
  t[0].push_back(rig.Block(1, 188));
  t[0][0].Active = 1;
  t[0][0].OnReceived = [&](TCommModbus&) { done = true; };
  rig.comm.SetCommRequest(t);
  ASSERT_TRUE(RunUntil([&] { return !rig.comm.Ready(); }, 3000));
  const auto t0 = std::chrono::steady_clock::now();
  rig.comm.SetStopCommunication(true);
  ASSERT_TRUE(RunUntil([&] { return done; }, 3000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1400));
  EXPECT_EQ("ERROR", rig.comm.BlockData);  // stopped before any reply: no data
}

TEST(CommModbus, ActiveReadingFiresAllRead) {
  Rig rig;
  ASSERT_TRUE(rig.comm.OpenLink(true));
  TDeviceComm a;
  a.DevAddress = 251;
  a.RegCount = 2;
  TDeviceComm b = a;
  b.RegAddress = 5;
  TCommRequest t(2);
  t[0] = {a, b};
  t[1] = {a};
  rig.comm.SetCommRequest(t);
  rig.comm.SetActiveDevices({0, 1});
  rig.comm.SetEnableDevices({1, 0});
  rig.comm.SetActiveReadInterval(1000);
  int allRead = 0;
  rig.comm.OnAllActiveRead = [&](TCommModbus&) { ++allRead; };
  ASSERT_TRUE(RunUntil([&] { return allRead >= 2; }, 15000));
  EXPECT_EQ(0, rig.comm.LinkErrTimering() == 2);
}

TEST(CommModbus, SettingsAndPortNames) {
  struct Name { const char* given; const char* stored; };
  const Name names[] = {{"com7", "//./COM7"}, {"Com1", "//./COM1"}, {"//./com3", "//./COM3"}, {"x//./com3", "X//./COM3"}};
  for (const auto& n : names) {
    TCommModbus c([](auto f) { return std::make_unique<TManualTimer>(std::move(f)); });
    TCommOptions o;
    o.CommPort = n.given;
    c.SetCommOptions(o);
    EXPECT_EQ(n.stored, c.CommOptions().CommPort) << n.given;
  }
  linktest::TempDir dir;
  const std::string ini = dir / "sub/Settings.ini";
  TCommModbus c([](auto f) { return std::make_unique<TManualTimer>(std::move(f)); });
  EXPECT_EQ("//./COM1", c.CommOptions().CommPort);
  EXPECT_EQ(9600, c.CommOptions().BaudRate);
  c.SetSettingsFile(ini);  // missing: defaults stay
  EXPECT_EQ(30000, c.ActiveReadInterval());
  TCommOptions o = c.CommOptions();
  o.CommPort = "com4";
  o.BaudRate = 19200;
  o.WriteTotalTimeoutConstant = 77;
  c.SetCommOptions(o);
  c.SetActiveReadInterval(10000);
  c.CommTimeout = 12345;
  ASSERT_TRUE(c.SaveCommSettings());
  TCommModbus d([](auto f) { return std::make_unique<TManualTimer>(std::move(f)); });
  d.SetSettingsFile(ini);
  EXPECT_EQ(c.CommOptions(), d.CommOptions());
  EXPECT_EQ(10000, d.ActiveReadInterval());
  EXPECT_EQ(12345, d.CommTimeout);
  base::TMemIniFile check(ini);
  EXPECT_EQ("//./COM4", check.ReadString("SerialComm", "CommPort", ""));
  EXPECT_EQ(77, check.ReadInteger("SerialComm", "WriteTotalTimeoutConstant", 0));
  EXPECT_EQ(10000, check.ReadInteger("SerialComm", "ReadFromDevices", 0));
  // A folder that cannot be written: reported, not hidden.
  d.SetSettingsFile("/proc/kv90/Settings.ini");
  EXPECT_FALSE(d.SaveCommSettings());
}

TEST(CommModbus, PortMap) {
  linktest::TempDir dir;
  const std::string ini = dir / "Settings.ini";
  base::WriteFileAtomic(ini, "[PortMap]\r\nCOM7=/dev/ttyUSB0\r\ncom2 = /dev/pts/5\r\n");
  struct Case { const char* port; const char* device; };
  const Case cases[] = {
      {"//./COM7", "/dev/ttyUSB0"}, {"//./COM2", "/dev/pts/5"}, {"//./COM1", "/dev/ttyS0"},
      {"//./COM12", "/dev/ttyS11"}, {"//./COM0", ""},          {"//./LPT1", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.device, ResolvePortDevice(c.port, ini)) << c.port;
  EXPECT_EQ("/dev/ttyS6", ResolvePortDevice("//./COM7", ""));
  EXPECT_EQ("COM7 (/dev/ttyUSB0)", PortCaption("com7", ini));
  EXPECT_EQ("COM3 (/dev/ttyS2)", PortCaption("COM3", ini));
  EXPECT_EQ("LPT1", PortCaption("LPT1", ini));
}

TEST(CommModbus, OpenFailureAndManyReopensLeaveNothingBehind) {
  Rig rig;
  const int threads = linktest::ThreadCount();
  const int fds = linktest::FdCount();
  {
    TCommModbus bad([](auto f) { return std::make_unique<TManualTimer>(std::move(f)); });
    TCommOptions o;
    o.CommPort = "COM200";
    bad.SetCommOptions(o);
    EXPECT_FALSE(bad.OpenLink(true));
    EXPECT_FALSE(bad.CommOpen());
    bad.DispatchTick();
    bad.CollectTick();
  }
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(rig.comm.OpenLink(i % 2 == 0)) << i;
    ASSERT_TRUE(rig.comm.CloseLink()) << i;
  }
  EXPECT_EQ(threads, linktest::ThreadCount());
  EXPECT_EQ(fds, linktest::FdCount());
  // And the link still works.
  ASSERT_TRUE(rig.comm.OpenLink(false));
  bool done = false;
  TCommRequest t(1);
  t[0].push_back(rig.Block(1, 188));
  t[0][0].Active = 1;
  t[0][0].OnReceived = [&](TCommModbus& c) { done = c.BlockData.size() == 196; };
  rig.comm.SetCommRequest(t);
  EXPECT_TRUE(RunUntil([&] { return done; }, 10000));
}

TEST(CommModbus, ActiveReadTiming) {
  Rig rig;
  ASSERT_TRUE(rig.comm.OpenLink(false));  // ticks driven by hand below
  TDeviceComm r;
  r.DevAddress = 251;
  r.RegCount = 1;
  rig.comm.SetCommRequest(TCommRequest{{r}});
  rig.comm.SetActiveDevices({0});
  rig.comm.SetEnableDevices({1});
  rig.comm.SetActiveReadInterval(1000);
  rig.comm.CommTimeout = 5000;
  int timeouts = 0;
  rig.comm.OnActiveReadTimeOut = [&](TCommModbus&) { ++timeouts; };
  const double sec = 1.0 / base::kSecPerDay;
  auto active = [&] { return rig.comm.CommRequest()[0][0].Active != 0; };

  rig.comm.ActiveReadTick();  // first pass: due now, activate
  EXPECT_TRUE(active());
  EXPECT_EQ(0, rig.comm.LinkErrTimering());
  const double first = rig.comm.LastActiveRead;
  EXPECT_GT(first, 0);

  rig.comm.ActiveReadTick();  // not due yet: nothing changes
  EXPECT_EQ(first, rig.comm.LastActiveRead);

  rig.comm.LastActiveRead = base::Now() - 2 * sec;  // due, still pending
  rig.comm.ActiveReadTick();
  EXPECT_EQ(1, rig.comm.LinkErrTimering());
  EXPECT_EQ(1, rig.comm.LinkError());
  EXPECT_EQ(0, timeouts);

  rig.comm.LastActiveRead = base::Now() - 10 * sec;  // past the time-out
  rig.comm.ActiveReadTick();
  EXPECT_EQ(1, timeouts);
  EXPECT_EQ(2, rig.comm.LinkErrTimering());
  EXPECT_NEAR(base::Now(), rig.comm.LastActiveRead, 2 * sec);

  auto t = rig.comm.CommRequest();  // the read finished: cadence from the due time
  t[0][0].Active = 0;
  rig.comm.SetCommRequest(t);
  const double last = base::Now() - 2 * sec;
  rig.comm.LastActiveRead = last;
  rig.comm.ActiveReadTick();
  EXPECT_TRUE(active());
  EXPECT_NEAR(last + sec, rig.comm.LastActiveRead, 1e-9);
  EXPECT_EQ(0, rig.comm.LinkError());
}
