#include "tools/kv90sim/sim_logger.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "monitor/comm/wire.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace kv90sim {

using kv90::comm::AppendCrc;
using kv90::comm::CrcMatches;
using kv90::comm::Sum16;

namespace {
void PutWord(std::string& s, unsigned v) {
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
  s.push_back(static_cast<char>(v & 0xFF));
}
void PutWordLE(std::string& s, unsigned v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void AppendSum(std::string& s) {
  const std::uint16_t sum = Sum16(s);
  s.push_back(static_cast<char>(sum & 0xFF));
  s.push_back(static_cast<char>(sum >> 8));
}
double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}
int Channels(const SimDevice& d) { return d.Format < 4 ? d.Words : d.Words / 2; }
int Decimals(int format) { return format >= 8 ? 0 : format % 4; }

const std::pair<const char*, Fault> kFaultNames[] = {
    {"badcrc", Fault::BadCrc},       {"badheader", Fault::BadHeader}, {"badlength", Fault::BadLength},
    {"silence", Fault::Silence},     {"garbage", Fault::Garbage},     {"garbageinside", Fault::GarbageInside},
    {"halfframe", Fault::HalfFrame}, {"trickle", Fault::Trickle},     {"dropend", Fault::DropEnd},
    {"badline", Fault::BadLine},     {"stall", Fault::Stall},
};
}  // namespace

std::optional<Fault> FaultFromName(const std::string& name) {
  for (const auto& [n, f] : kFaultNames)
    if (base::SameText(n, name)) return f;
  return std::nullopt;
}

const char* FaultName(Fault f) {
  for (const auto& [n, g] : kFaultNames)
    if (g == f) return n;
  return "?";
}

// ---------------------------------------------------------------------------

SimConfig SimConfig::Default() {
  SimConfig c;
  c.Devices = {
      {1, 2, 0, 4, 1},    // Kv16: four channels, one decimal
      {2, 3, 0, 3, 2},    // KvMix: three channels, two decimals
      {3, 7, 12, 6, 5},   // EM24 from A-L1: three 4-byte channels, one decimal
      {4, 1, 100, 2, 0},  // manual: two plain channels
      {5, 4, 0, 2, 4},    // Kv24: one 4-byte counter
  };
  c.Reconfigured.assign(c.Devices.begin(), c.Devices.end() - 1);
  return c;
}

namespace {
std::vector<SimDevice> ReadDevices(const base::TMemIniFile& ini, const char* prefix) {
  std::vector<SimDevice> out;
  for (int i = 1; i <= 16; ++i) {
    const std::string sec = std::string(prefix) + std::to_string(i);
    if (!ini.SectionExists(sec)) continue;
    SimDevice d;
    d.Address = static_cast<int>(ini.ReadInteger(sec, "Address", i));
    d.Type = static_cast<int>(ini.ReadInteger(sec, "Type", 2));
    d.Register = static_cast<int>(ini.ReadInteger(sec, "Register", 0));
    d.Words = static_cast<int>(ini.ReadInteger(sec, "Words", 2));
    d.Format = static_cast<int>(ini.ReadInteger(sec, "Format", 0));
    out.push_back(d);
  }
  return out;
}

SimConfig FromIni(const base::TMemIniFile& ini) {
  SimConfig c = SimConfig::Default();
  const char* s = "Logger";
  c.Address = static_cast<int>(ini.ReadInteger(s, "Address", c.Address));
  c.Version = static_cast<int>(ini.ReadInteger(s, "Version", c.Version));
  c.Name = ini.ReadString(s, "Name", c.Name);
  c.RdTime = static_cast<int>(ini.ReadInteger(s, "RdTime", c.RdTime));
  c.WrTime = static_cast<int>(ini.ReadInteger(s, "WrTime", c.WrTime));
  c.SegmentCnt = static_cast<std::uint32_t>(ini.ReadInteger(s, "SegmentCnt", c.SegmentCnt));
  c.MemoryLines = static_cast<long>(ini.ReadInteger(s, "MemoryLines", c.MemoryLines));
  c.LineStepSeconds = static_cast<int>(ini.ReadInteger(s, "LineStepSeconds", c.LineStepSeconds));
  c.TrickleMs = static_cast<int>(ini.ReadInteger(s, "TrickleMs", c.TrickleMs));
  auto devs = ReadDevices(ini, "Device");
  if (!devs.empty()) {
    c.Devices = devs;
    c.Reconfigured.assign(devs.begin(), devs.end() - (devs.size() > 1 ? 1 : 0));
  }
  auto re = ReadDevices(ini, "Reconfigured");
  if (!re.empty()) c.Reconfigured = re;
  if (c.Address < 1 || c.Address > 255) throw std::runtime_error("Logger Address must be 1 to 255");
  if (c.MemoryLines < 0) c.MemoryLines = 0;
  return c;
}
}  // namespace

SimConfig SimConfig::Load(const std::string& path) {
  if (!base::FileExists(path)) throw std::runtime_error("cannot read configuration file " + path);
  base::TMemIniFile ini(path);
  return FromIni(ini);
}

SimConfig SimConfig::FromText(const std::string& text) {
  base::TMemIniFile ini("");
  ini.SetText(text);
  return FromIni(ini);
}

// ---------------------------------------------------------------------------

SimLogger::SimLogger(SimConfig cfg) : cfg_(std::move(cfg)) {}

void SimLogger::Reconfigure() { std::swap(cfg_.Devices, cfg_.Reconfigured); }
void SimLogger::SetDevices(std::vector<SimDevice> d) { cfg_.Devices = std::move(d); }

int SimLogger::ValueBytes() const {
  int words = 0;
  for (const auto& d : cfg_.Devices) words += d.Words;
  return 2 * words;
}
int SimLogger::LineLength() const { return ValueBytes() + 12; }

std::uint16_t SimLogger::Register(int reg) const {
  const auto it = regs_.find(reg);
  return it != regs_.end() ? it->second : static_cast<std::uint16_t>(reg);
}

std::int32_t SimLogger::ChannelRaw(int d, int c, double t) const {
  const SimDevice& dev = cfg_.Devices[static_cast<std::size_t>(d)];
  const double v = 10.0 + c + 5.0 * std::sin(t / 60.0 + d + 0.7 * c);
  const std::int32_t raw = static_cast<std::int32_t>(std::lround(v * std::pow(10.0, Decimals(dev.Format))));
  return dev.Format >= 4 ? raw + 100000 : raw;
}

std::string SimLogger::ConfigBlock() const {
  std::string s;
  s.push_back(static_cast<char>(cfg_.Address));
  s.push_back(0x41);
  PutWord(s, 1);
  PutWord(s, 188);
  PutWord(s, static_cast<unsigned>(cfg_.Version));
  for (int i = 0; i < 5; ++i) PutWord(s, i < static_cast<int>(cfg_.Name.size()) ? static_cast<unsigned char>(cfg_.Name[static_cast<std::size_t>(i)]) : 0);
  PutWord(s, static_cast<unsigned>(cfg_.RdTime));
  PutWord(s, static_cast<unsigned>(cfg_.WrTime));
  const std::uint32_t akt = cfg_.MemoryLines > 0 ? static_cast<std::uint32_t>((cfg_.MemoryLines + 99) / 100) : 0;
  for (std::uint32_t v : {cfg_.SegmentCnt, akt, static_cast<std::uint32_t>(cfg_.MemoryLines)}) {
    PutWord(s, v & 0xFFFF);
    PutWord(s, v >> 16);
  }
  for (std::size_t i = 0; i < 16; ++i) {
    SimDevice d{0, 0, 0, 0, 0};
    if (i < cfg_.Devices.size()) d = cfg_.Devices[i];
    for (int w : {d.Address, d.Type, d.Register, d.Words, d.Format}) PutWord(s, static_cast<unsigned>(w));
  }
  AppendSum(s);
  return s;
}

std::string SimLogger::ValuesBlock() const {
  std::string s;
  s.push_back(static_cast<char>(cfg_.Address));
  s.push_back(0x41);
  PutWord(s, 2);
  PutWord(s, static_cast<unsigned>(ValueBytes()));
  const double t = NowSeconds();
  for (std::size_t d = 0; d < cfg_.Devices.size(); ++d) {
    const SimDevice& dev = cfg_.Devices[d];
    for (int c = 0; c < Channels(dev); ++c) {
      const std::int32_t raw = ChannelRaw(static_cast<int>(d), c, t);
      const auto u = static_cast<std::uint32_t>(raw);
      if (dev.Format < 4) {
        PutWord(s, u & 0xFFFF);
      } else {
        PutWord(s, u & 0xFFFF);   // low word first
        PutWord(s, u >> 16);
      }
    }
    // Odd word counts of 4-byte formats leave a pad word.
    if (dev.Format >= 4 && dev.Words % 2) PutWord(s, 0);
  }
  AppendSum(s);
  return s;
}

std::string SimLogger::MemoryLine(long index, bool last) const {
  const double t = NowSeconds() - static_cast<double>((cfg_.MemoryLines - index) * cfg_.LineStepSeconds);
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  std::string s;
  for (int v : {tm.tm_year + 1900 - 2000, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec})
    s.push_back(static_cast<char>(v));
  for (std::size_t d = 0; d < cfg_.Devices.size(); ++d) {
    const SimDevice& dev = cfg_.Devices[d];
    for (int c = 0; c < Channels(dev); ++c) {
      const auto u = static_cast<std::uint32_t>(ChannelRaw(static_cast<int>(d), c, t));
      PutWordLE(s, u & 0xFFFF);
      if (dev.Format >= 4) PutWordLE(s, u >> 16);
    }
    if (dev.Format >= 4 && dev.Words % 2) PutWordLE(s, 0);
  }
  AppendSum(s);
  const auto& m = last ? kv90::comm::kEndMarker : kv90::comm::kSegmentMarker;
  for (unsigned char b : m) s.push_back(static_cast<char>(b));
  return s;
}

// ---------------------------------------------------------------------------

SimServer::SimServer(SimConfig cfg, std::string linkPath)
    : logger_(std::move(cfg)), linkPath_(std::move(linkPath)) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) throw std::runtime_error(std::string("posix_openpt: ") + std::strerror(errno));
  char name[256];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
    ::close(master_);
    throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
  }
  slavePath_ = name;
  holder_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (holder_ >= 0) {
    termios t{};
    if (tcgetattr(holder_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(holder_, TCSANOW, &t);
    }
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (!linkPath_.empty()) {
    struct stat st{};
    if (::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath_.c_str());
    if (::symlink(slavePath_.c_str(), linkPath_.c_str()) != 0) {
      const std::string why = std::strerror(errno);
      ::close(holder_);
      ::close(master_);
      throw std::runtime_error("cannot make link " + linkPath_ + ": " + why);
    }
  }
  thread_ = std::thread([this] { Run(); });
}

SimServer::~SimServer() { Stop(); }

void SimServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (!linkPath_.empty()) {
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_) ::unlink(linkPath_.c_str());
  }
  if (holder_ >= 0) ::close(holder_);
  if (master_ >= 0) ::close(master_);
  holder_ = master_ = -1;
}

void SimServer::InjectFault(Fault f, int count) {
  std::lock_guard<std::mutex> g(mu_);
  faults_.emplace_back(f, count);
}

void SimServer::ClearFaults() {
  std::lock_guard<std::mutex> g(mu_);
  faults_.clear();
}

void SimServer::Reconfigure() {
  std::lock_guard<std::mutex> g(mu_);
  logger_.Reconfigure();
}

void SimServer::SetRegister(int reg, std::uint16_t v) {
  std::lock_guard<std::mutex> g(mu_);
  logger_.WriteRegister(reg, v);
}

std::uint16_t SimServer::RegisterValue(int reg) {
  std::lock_guard<std::mutex> g(mu_);
  return logger_.Register(reg);
}

std::vector<std::string> SimServer::Log() {
  std::lock_guard<std::mutex> g(mu_);
  return std::exchange(log_, {});
}

std::optional<Fault> SimServer::TakeFault() {
  std::lock_guard<std::mutex> g(mu_);
  if (faults_.empty()) return std::nullopt;
  auto& [f, n] = faults_.front();
  const Fault out = f;
  if (n > 0 && --n == 0) faults_.erase(faults_.begin());
  return out;
}

void SimServer::Run() {
  std::string in;
  char buf[512];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && errno != EAGAIN && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    in.append(buf, static_cast<std::size_t>(n));
    while (in.size() >= 8 && !stop_) {
      if (!CrcMatches(std::string_view(in).substr(0, 8))) {
        ++badFrames_;
        in.erase(0, 1);
        continue;
      }
      const std::string frame = in.substr(0, 8);
      in.erase(0, 8);
      Handle(frame);
    }
  }
}

bool SimServer::Send(const std::string& bytes, int trickleMs) {
  std::size_t done = 0;
  auto lastProgress = std::chrono::steady_clock::now();
  while (done < bytes.size() && !stop_) {
    const std::size_t chunk = trickleMs > 0 ? 1 : bytes.size() - done;
    const ssize_t n = ::write(master_, bytes.data() + done, chunk);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      lastProgress = std::chrono::steady_clock::now();
      if (trickleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(trickleMs));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() - lastProgress > std::chrono::seconds(2)) {
      // Nobody reads: drop what is queued and abandon the reply.
      if (holder_ >= 0) tcflush(holder_, TCIFLUSH);
      return false;
    }
    pollfd p{master_, POLLOUT, 0};
    ::poll(&p, 1, 20);
  }
  return done == bytes.size();
}

void SimServer::Handle(const std::string& f) {
  const int addr = static_cast<unsigned char>(f[0]);
  const int fn = static_cast<unsigned char>(f[1]);
  const int p1 = (static_cast<unsigned char>(f[2]) << 8) | static_cast<unsigned char>(f[3]);
  const int p2 = (static_cast<unsigned char>(f[4]) << 8) | static_cast<unsigned char>(f[5]);
  const int own = logger_.Config().Address;
  if (verbose_) {
    std::lock_guard<std::mutex> g(mu_);
    char line[96];
    std::snprintf(line, sizeof line, "request addr %d func 0x%02X param %d count %d", addr, fn, p1, p2);
    log_.emplace_back(line);
  }
  if (addr == 0 && fn == 6) {
    std::lock_guard<std::mutex> g(mu_);
    logger_.WriteRegister(p1, static_cast<std::uint16_t>(p2));
    return;
  }
  if (addr != own) return;
  const std::optional<Fault> fault = TakeFault();
  ++answered_;
  int trickle = fault == Fault::Trickle ? logger_.Config().TrickleMs : 0;

  std::string r;
  bool block = false;
  {
    std::lock_guard<std::mutex> g(mu_);
    switch (fn) {
      case 3:
      case 4:
        if (p2 < 1 || p2 > 125) {
          r = {static_cast<char>(addr), static_cast<char>(fn | 0x80), 3};
        } else {
          r = {static_cast<char>(addr), static_cast<char>(fn), static_cast<char>(2 * p2)};
          for (int i = 0; i < p2; ++i) PutWord(r, logger_.Register(p1 + i));
        }
        AppendCrc(r);
        break;
      case 6:
        if (p1 >= kReadOnlyRegisters) {  // read-only area: illegal data address
          r = {static_cast<char>(addr), static_cast<char>(0x86), 2};
          AppendCrc(r);
        } else {
          logger_.WriteRegister(p1, static_cast<std::uint16_t>(p2));
          r = f;
        }
        break;
      case 8:
        r = f;
        break;
      case 0x41:
        if (p1 == 1) {
          r = logger_.ConfigBlock();
          block = true;
        } else if (p1 == 2) {
          r = logger_.ValuesBlock();
          block = true;
        } else if (p1 == 3) {
          r.clear();
        } else {
          r = {static_cast<char>(addr), static_cast<char>(0xC1), 1};
          AppendCrc(r);
        }
        break;
      default:
        r = {static_cast<char>(addr), static_cast<char>(fn | 0x80), 1};
        AppendCrc(r);
        break;
    }
  }
  if (fn == 0x41 && p1 == 3) {
    Stream(fault, trickle);
    return;
  }
  if (fault) {
    switch (*fault) {
      case Fault::Silence: return;
      case Fault::BadCrc: r.back() = static_cast<char>(r.back() ^ 0x5A); break;
      case Fault::BadHeader: r[0] = static_cast<char>(r[0] ^ 0x01); break;
      case Fault::BadLength:
        if (block) {
          const int len = ((static_cast<unsigned char>(r[4]) << 8) | static_cast<unsigned char>(r[5])) - 1;
          r[4] = static_cast<char>((len >> 8) & 0xFF);
          r[5] = static_cast<char>(len & 0xFF);
        }
        break;
      case Fault::Garbage: r.insert(0, "\x13\x37\xFF\x00\x42\x99\x07", 7); break;
      case Fault::GarbageInside: r.insert(r.size() / 2, "\x13\x37\xFF\x42\x99", 5); break;
      case Fault::HalfFrame: r.resize(r.size() / 2); break;
      default: break;
    }
  }
  Send(r, trickle);
}

void SimServer::Stream(std::optional<Fault> fault, int trickle) {
  if (fault == Fault::Silence) return;
  const int own = logger_.Config().Address;
  const long lines = logger_.Config().MemoryLines;
  std::string h{static_cast<char>(own ^ (fault == Fault::BadHeader ? 1 : 0)), 0x41, 0x00, 0x03};
  if (fault == Fault::BadLength)
    PutWord(h, 5);
  else
    PutWord(h, lines > 0 ? 0xFFFF : 0);
  if (fault == Fault::Garbage) h.insert(0, "\x13\x37\xFF\x00\x42\x99\x07", 7);
  if (!Send(h, trickle)) return;
  if (lines == 0 || fault == Fault::BadHeader || fault == Fault::BadLength) return;
  const bool cut = fault == Fault::Stall || fault == Fault::HalfFrame;
  const long upTo = cut ? lines / 2 : lines;
  std::string batch;
  for (long i = 0; i < upTo && !stop_; ++i) {
    const bool last = i == lines - 1 && fault != Fault::DropEnd;
    std::string line;
    {
      std::lock_guard<std::mutex> g(mu_);
      line = logger_.MemoryLine(i, last);
    }
    if (i == 1 && (fault == Fault::BadLine || fault == Fault::BadCrc)) line[6] = static_cast<char>(line[6] ^ 0x21);
    if (i == lines / 2 && fault == Fault::GarbageInside) batch.append("\x13\x37\xFF\x42\x99", 5);
    batch += line;
    if (batch.size() >= 4096 || trickle > 0) {
      if (!Send(batch, trickle)) return;
      batch.clear();
    }
  }
  if (!batch.empty()) Send(batch, trickle);
}

}  // namespace kv90sim
