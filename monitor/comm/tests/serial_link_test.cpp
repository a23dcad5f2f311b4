// The polling thread against the logger simulator on a pseudo-terminal:
// every fault of the simulator ends in its error code, after the attempts
// and within the time the link allows, and the link keeps working after.
#include <gtest/gtest.h>

#include "monitor/comm/logger_blocks.h"
#include "monitor/comm/serial.h"
#include "monitor/comm/tests/link_helpers.h"
#include "tools/kv90sim/sim_logger.h"

using namespace kv90::comm;
using kv90sim::Fault;
using linktest::RunRequest;

namespace {
kv90sim::SimConfig SmallLogger(long lines = 20) {
  auto c = kv90sim::SimConfig::Default();
  c.MemoryLines = lines;
  return c;
}
// The default logger: 17 words, so 34 value bytes and 46-byte lines.
constexpr int kValueBytes = 34;
constexpr int kLine = 46;
const WireRequest kConfig{251, kFuncBlock, kSubConfig, 188, 0};
const WireRequest kValues{251, kFuncBlock, kSubValues, kValueBytes, 0};
const WireRequest kLogger{251, kFuncBlock, kSubLogger, kLine, 0};
const WireRequest kRead{251, kFuncReadInput, 10, 4, 0};
constexpr int kNone = -1;
}  // namespace

TEST(SerialLink, FaultTable) {
  struct Case {
    const char* name;
    int fault;  // kNone or a Fault
    int count;
    WireRequest request;
    int error;
    long answered;
    long minMs, maxMs;  // generous upper bounds: the machine is shared
  };
  const int F = 0;
  auto f = [](Fault x) { return static_cast<int>(x); };
  const Case cases[] = {
      {"clean configuration", kNone, 0, kConfig, 0, 1, 50, 3000},
      {"bad checksum once is retried", f(Fault::BadCrc), 1, kConfig, 0, 2, 100, 3000},
      {"bad checksum three times", f(Fault::BadCrc), 3, kConfig, kErrChecksum, 3, 150, 4000},
      {"header for another address", f(Fault::BadHeader), 3, kConfig, kErrHeader, 3, 150, 4000},
      {"187 bytes announced for 188", f(Fault::BadLength), 3, kConfig, kErrLength, 3, 150, 4000},
      {"garbage before the reply", f(Fault::Garbage), 1, kConfig, 0, 2, 100, 3000},
      {"garbage inside the block", f(Fault::GarbageInside), 3, kConfig, kErrChecksum, 3, 150, 4000},
      {"silence once, then an answer", f(Fault::Silence), 1, kConfig, 0, 2, 500, 3000},
      {"silence: third time-out", f(Fault::Silence), 3, kConfig, kErrNoReply, 3, 1450, 5000},
      {"half frames: third time-out", f(Fault::HalfFrame), 3, kConfig, kErrNoReply, 3, 1450, 5000},
      {"reply trickling in byte by byte", f(Fault::Trickle), 1, kValues, 0, 1, 50, 3000},
      {"register reply with bad CRC", f(Fault::BadCrc), 3, kRead, kErrChecksum, 3, 150, 4000},
      {"garbage before a register reply", f(Fault::Garbage), 1, kRead, 0, 2, 100, 3000},
      {"register reply cut in half", f(Fault::HalfFrame), 3, kRead, kErrNoReply, 3, 1450, 5000},
      {"logger stream", kNone, 0, kLogger, 0, 1, 50, 5000},
      {"logger length 5 ends at once", f(Fault::BadLength), 1, kLogger, kErrLength, 1, 50, 3000},
      {"logger header for another address", f(Fault::BadHeader), 1, kLogger, kErrHeader, 1, 50, 3000},
      {"logger silence ends at once", f(Fault::Silence), 1, kLogger, kErrNoReply, 1, 500, 3000},
      {"logger end marker dropped", f(Fault::DropEnd), 1, kLogger, kErrNoReply, 1, 500, 4000},
      {"logger stream stalls", f(Fault::Stall), 1, kLogger, kErrNoReply, 1, 500, 4000},
      {"write refused by the device", kNone, 0, {251, kFuncWriteSingle, kv90sim::kReadOnlyRegisters, 1, 5},
       kErrException, 3, 150, 4000},
      {"diagnostics", kNone, 0, {251, kFuncDiagnostics, 0, 0, 0}, 0, 1, 50, 3000},
      {"count 33 is rejected", kNone, 0, {251, kFuncReadInput, 0, 33, 0}, kErrRejected, 0, 0, 1000},
      {"read to broadcast is rejected", kNone, 0, {0, kFuncReadInput, 0, 1, 0}, kErrRejected, 0, 0, 1000},
      {"function 5 is rejected", kNone, 0, {251, 5, 0, 1, 0}, kErrRejected, 0, 0, 1000},
  };
  (void)F;
  for (const auto& c : cases) {
    kv90sim::SimServer sim(SmallLogger());
    if (c.fault != kNone) sim.InjectFault(static_cast<Fault>(c.fault), c.count);
    TSerial link(TCommOptions{}, sim.DevicePath());
    ASSERT_TRUE(link.PortOpen()) << c.name;
    const auto o = RunRequest(link, c.request);
    ASSERT_TRUE(o.finished) << c.name;
    EXPECT_EQ(c.error, o.error) << c.name << ": " << LinkErrorText(o.error);
    EXPECT_EQ(c.answered, sim.Answered()) << c.name;
    EXPECT_GE(o.ms, c.minMs) << c.name;
    EXPECT_LE(o.ms, c.maxMs) << c.name;
    if (c.request.function == kFuncBlock && c.error != 0) {
      EXPECT_EQ("", o.block) << c.name;
    }
    // Whatever happened, the next request on the same link succeeds.
    sim.ClearFaults();
    EXPECT_EQ(0, RunRequest(link, kConfig).error) << c.name << ": link did not recover";
  }
}

TEST(SerialLink, BlocksDecode) {
  kv90sim::SimServer sim(SmallLogger());
  TSerial link(TCommOptions{}, sim.DevicePath());
  auto o = RunRequest(link, kConfig);
  ASSERT_EQ(0, o.error);
  ASSERT_EQ(196u, o.block.size());  // header, 188 bytes, checksum
  kv90::ConfigBlock fields;
  kv90::LoggerConfig cfg;
  ASSERT_TRUE(kv90::DecodeConfigBlock(o.block, fields, cfg));
  EXPECT_EQ(5, cfg.DeviceCount);
  EXPECT_EQ(kValueBytes, kv90::MeasuredByteCount(cfg));
  EXPECT_EQ(kLine, kv90::LineByteCount(cfg));
  EXPECT_EQ(20u, fields.SegmentSetCnt);

  o = RunRequest(link, kValues);
  ASSERT_EQ(0, o.error);
  EXPECT_EQ(kValueBytes, kv90::ValuesReturnDataCnt(o.block));
  const auto values = kv90::DecodeMeasuredValues(o.block, cfg);
  EXPECT_EQ(kv90::TotalChannels(cfg), static_cast<int>(values.size()));
  for (const auto& v : values) {
    if (cfg.Devices[static_cast<std::size_t>(v.Device)].Format < 4) {
      EXPECT_NEAR(12, v.Value, 8) << v.Text;
    }
  }

  o = RunRequest(link, kLogger);
  ASSERT_EQ(0, o.error);
  EXPECT_EQ(6u + 20 * kLine, o.block.size());
  EXPECT_EQ(20, o.lines);
  EXPECT_EQ(0u, o.discarded);
  for (int i = 0; i < 20; ++i) {
    const auto line = kv90::DecodeLoggerLine(std::string_view(o.block).substr(6 + static_cast<std::size_t>(i) * kLine, kLine), cfg);
    EXPECT_TRUE(line.ChecksumOk) << i;
    EXPECT_GT(line.Time, 46000) << i;
  }
}

TEST(SerialLink, DamagedStreamsKeepTheGoodLines) {
  struct Case { const char* name; Fault fault; std::size_t kept; std::uint32_t dropped; };
  const Case cases[] = {
      {"second line with a wrong checksum", Fault::BadLine, 29, 1},
      // The stretch holding the garbage counts as one discarded line; the
      // line after it is recovered.
      {"garbage in the middle of the stream", Fault::GarbageInside, 30, 1},
  };
  for (const auto& c : cases) {
    kv90sim::SimServer sim(SmallLogger(30));
    sim.InjectFault(c.fault);
    TSerial link(TCommOptions{}, sim.DevicePath());
    const auto o = RunRequest(link, kLogger);
    ASSERT_EQ(0, o.error) << c.name;
    EXPECT_EQ(c.dropped, o.discarded) << c.name;
    ASSERT_EQ(0u, (o.block.size() - 6) % kLine) << c.name;
    const std::size_t kept = (o.block.size() - 6) / kLine;
    EXPECT_EQ(c.kept, kept) << c.name;
    for (std::size_t i = 0; i < kept; ++i) {
      const std::string_view line = std::string_view(o.block).substr(6 + i * kLine, kLine);
      unsigned sum = 0;
      for (int k = 0; k < kLine - 6; ++k) sum += static_cast<unsigned char>(line[static_cast<std::size_t>(k)]);
      EXPECT_EQ(sum & 0xFFFF, static_cast<unsigned char>(line[kLine - 6]) | static_cast<unsigned>(static_cast<unsigned char>(line[kLine - 5])) << 8)
          << c.name << " line " << i;
    }
  }
}

TEST(SerialLink, ReconfiguredLoggerFailsTheLengthCheck) {
  kv90sim::SimServer sim(SmallLogger());
  TSerial link(TCommOptions{}, sim.DevicePath());
  ASSERT_EQ(0, RunRequest(link, kValues).error);
  sim.Reconfigure();
  EXPECT_EQ(kErrLength, RunRequest(link, kValues).error);
  EXPECT_EQ(4, sim.Answered());
  EXPECT_EQ(0, RunRequest(link, {251, kFuncBlock, kSubValues, kValueBytes - 4, 0}).error);
}

TEST(SerialLink, RegistersAndBroadcast) {
  kv90sim::SimServer sim(SmallLogger());
  TSerial link(TCommOptions{}, sim.DevicePath());
  sim.SetRegister(10, 0x8000);
  sim.SetRegister(11, 0x8001);
  for (int fn : {kFuncReadHolding, kFuncReadInput}) {
    const auto o = RunRequest(link, {251, fn, 10, 4, 0});
    ASSERT_EQ(0, o.error);
    EXPECT_EQ(32768, o.values[1]);
    EXPECT_EQ(-32767, o.values[2]);
    EXPECT_EQ(12, o.values[3]);
    EXPECT_EQ(13, o.values[4]);
  }
  EXPECT_EQ(0, RunRequest(link, {251, kFuncWriteSingle, 20, 1, -3}).error);
  EXPECT_EQ(0xFFFD, sim.RegisterValue(20));
  const auto b = RunRequest(link, {0, kFuncWriteSingle, 21, 1, 77});
  EXPECT_EQ(0, b.error);
  EXPECT_LT(b.ms, 1000);  // no reply is awaited
  ASSERT_TRUE(linktest::RunUntil([&] { return sim.RegisterValue(21) == 77; }, 3000));
}

TEST(SerialLink, NewRequestCancelsTheRunningOne) {
  kv90sim::SimServer sim(SmallLogger());
  sim.InjectFault(Fault::Silence, -1);
  TSerial link(TCommOptions{}, sim.DevicePath());
  ASSERT_TRUE(link.StartRequest(251, kFuncBlock, 1, 188, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(link.StartRequest(251, kFuncBlock, 2, 34, 0));
  ASSERT_TRUE(linktest::RunUntil([&] { link.PollResult(); return link.Status() == 2 && link.ThreadState() == 0; }, 3000));
  EXPECT_EQ(kErrRejected, link.ResultError());
}

TEST(SerialLink, MissingPortStillDestroysCleanly) {
  const int fds = linktest::FdCount();
  {
    TSerial link(TCommOptions{}, "/dev/kv90-no-such-port");
    EXPECT_FALSE(link.PortOpen());
    const auto o = RunRequest(link, kRead);
    EXPECT_EQ(kErrNoReply, o.error);
    EXPECT_GE(o.ms, 1450);
  }
  EXPECT_EQ(fds, linktest::FdCount());
}

TEST(SerialLink, ShutdownWaitsForTheRunningTransfer) {
  kv90sim::SimServer sim(SmallLogger(3000));
  auto link = std::make_unique<TSerial>(TCommOptions{}, sim.DevicePath());
  ASSERT_TRUE(link->StartRequest(251, kFuncBlock, 3, kLine, 0));
  ASSERT_TRUE(linktest::RunUntil([&] { return link->LineCounter() > 10; }, 5000));
  link->Shutdown();
  // Shutdown returned with the thread gone; the transfer was not cut short.
  EXPECT_EQ(0, link->ThreadState());
  EXPECT_EQ(0, link->ResultError());
  EXPECT_EQ(3000u * kLine + 6, link->BlockData().size());
  link.reset();
}

TEST(SerialLink, DeviceGoneAndBack) {
  linktest::TempDir dir;
  const std::string linkPath = dir / "logger";
  auto sim = std::make_unique<kv90sim::SimServer>(SmallLogger(), linkPath);
  TSerial link(TCommOptions{}, linkPath);
  ASSERT_EQ(0, RunRequest(link, kConfig).error);
  sim.reset();  // the logger goes away: its terminal is gone
  const auto gone = RunRequest(link, kConfig);
  EXPECT_EQ(kErrNoReply, gone.error);
  EXPECT_LE(gone.ms, 5000);
  sim = std::make_unique<kv90sim::SimServer>(SmallLogger(), linkPath);
  bool back = false;
  for (int i = 0; i < 10 && !back; ++i) back = RunRequest(link, kConfig).error == 0;
  EXPECT_TRUE(back) << "link did not come back with the device";
}
