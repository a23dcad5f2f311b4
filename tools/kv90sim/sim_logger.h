// The Kv90 logger simulator: a configured logger answering on a
// pseudo-terminal.
//
// SimConfig   what the logger is (address, name, periods, devices, memory),
//             read from a small INI file (README.md) or the built-in default.
// SimLogger   the protocol, pure: one request frame in, one reply out.
// SimServer   the pseudo-terminal, its optional symbolic link, a thread that
//             reads requests and writes replies, and the fault injection.
//
// Invariants:
//  1. The server keeps a descriptor of its own terminal side open, so a
//     client closing and reopening the port never hangs the terminal up;
//     the terminal goes away only when the server stops.
//  2. A reply nobody reads is abandoned after two seconds without progress,
//     so a stalled client never blocks the server.
//  3. Faults apply to the next `count` replies (count < 0: until cleared),
//     in the order they were injected.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kv90sim {

// Registers from here on refuse writes (exception 2), to test exception replies.
constexpr int kReadOnlyRegisters = 0xF000;

struct SimDevice {
  int Address = 1;
  int Type = 2;
  int Register = 0;
  int Words = 2;
  int Format = 0;
};

struct SimConfig {
  int Address = 251;
  int Version = 130;
  std::string Name = "KV90";
  int RdTime = 5;   // seconds
  int WrTime = 1;   // minutes
  std::uint32_t SegmentCnt = 1024;
  long MemoryLines = 200;
  int LineStepSeconds = 60;
  int TrickleMs = 2;
  std::vector<SimDevice> Devices;
  // The layout after a "reconfigure" (default: the last device removed).
  std::vector<SimDevice> Reconfigured;

  static SimConfig Default();
  // Reads an INI file; sections missing keep the defaults.  Throws
  // std::runtime_error with a readable text when the file cannot be read.
  static SimConfig Load(const std::string& path);
  static SimConfig FromText(const std::string& iniText);
};

enum class Fault {
  BadCrc,      // CRC (register functions) or checksum (blocks) wrong
  BadHeader,   // block header for another address
  BadLength,   // block header announces a wrong length
  Silence,     // no reply at all
  Garbage,     // garbage bytes before the reply
  GarbageInside,  // garbage bytes in the middle of the reply
  HalfFrame,   // only the first half of the reply
  Trickle,     // the reply byte by byte, TrickleMs apart
  DropEnd,     // logger stream without its end marker
  BadLine,     // logger stream: second line with a wrong checksum
  Stall,       // logger stream stops half-way
};
std::optional<Fault> FaultFromName(const std::string& name);
const char* FaultName(Fault f);

class SimLogger {
 public:
  explicit SimLogger(SimConfig cfg);

  const SimConfig& Config() const { return cfg_; }
  void Reconfigure();                        // switch to the alternate layout
  void SetDevices(std::vector<SimDevice> d);

  // Bytes of the configuration block data, values data, and one memory line.
  std::string ConfigBlock() const;       // header + 188 bytes + checksum
  std::string ValuesBlock() const;       // header + values + checksum
  std::string MemoryLine(long index, bool last) const;
  int LineLength() const;                // 2 * words + 12
  int ValueBytes() const;                // 2 * words
  std::uint16_t Register(int reg) const;
  void WriteRegister(int reg, std::uint16_t v) { regs_[reg] = v; }
  // Moving value of channel c of device d at time t (seconds), raw units.
  std::int32_t ChannelRaw(int d, int c, double t) const;

 private:
  SimConfig cfg_;
  std::map<int, std::uint16_t> regs_;
};

class SimServer {
 public:
  // Opens the pseudo-terminal; with a non-empty linkPath also makes the
  // symbolic link.  Throws std::runtime_error on failure.
  SimServer(SimConfig cfg, std::string linkPath = {});
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  const std::string& DevicePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }

  void InjectFault(Fault f, int count = 1);
  void ClearFaults();
  void Reconfigure();
  void SetRegister(int reg, std::uint16_t v);
  std::uint16_t RegisterValue(int reg);
  // Requests addressed to the logger so far (silenced ones too), and frames
  // seen with a bad CRC.
  long Answered() const { return answered_; }
  long BadFrames() const { return badFrames_; }
  std::vector<std::string> Log();   // one line per request, for -v
  void SetVerbose(bool v) { verbose_ = v; }
  void Stop();

 private:
  void Run();
  void Handle(const std::string& frame);
  bool Send(const std::string& bytes, int trickleMs);
  void Stream(std::optional<Fault> fault, int trickleMs);
  std::optional<Fault> TakeFault();

  SimLogger logger_;
  std::string linkPath_, slavePath_;
  int master_ = -1, holder_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::vector<std::pair<Fault, int>> faults_;
  std::vector<std::string> log_;
  std::atomic<long> answered_{0}, badFrames_{0};
  std::atomic<bool> verbose_{false};
};

}  // namespace kv90sim
