#include "monitor/comm/comm_modbus.h"

#include <algorithm>

#include "monitor/comm/serial_port.h"
#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"

namespace kv90::comm {

namespace {
constexpr const char* kSection = "SerialComm";

bool ValidIndex(const TCommRequest& t, int d, int b) {
  return d >= 0 && d < static_cast<int>(t.size()) && b >= 0 && b < static_cast<int>(t[static_cast<std::size_t>(d)].size());
}

TDeviceComm Copy(const TDeviceComm& r) {
  TDeviceComm c = r;
  if (c.Divisor <= 0) c.Divisor = 1;
  return c;
}

// One decoded value into its ActiveReadData slot (special codes first).
void StoreValue(double& slot, std::int32_t v, int i, int vt, int divisor) {
  const bool firstOfPair = (vt == 1 && i == 2) || (vt == 5 && i == 2) || (vt == 2 && i == 1);
  switch (v) {
    case kValueMissing: slot = -1004.0; return;
    case kValueFailedLong: slot = -1003.0; return;
    case -22000:
      if (firstOfPair) slot = -1001.0;
      else if (vt != 5) slot = -1002.0;
      return;
    case -22001:
      if ((vt == 1 && i == 2) || (vt == 2 && i == 1) || (vt == 5 && i != 2)) return;
      slot = -1002.0;
      return;
    default: break;
  }
  if (v < -21999) return;
  switch (vt) {
    case 1: case 2: case 3: slot = v / 10.0; return;
    case 5: slot = v; return;
    case 10: slot = static_cast<double>(v) / (divisor > 0 ? divisor : 1); return;
    default: return;
  }
}
}  // namespace

TCommModbus::TCommModbus(TimerFactory timers) {
  if (!timers) timers = MakeQtTimer;
  dispatch_ = timers([this] { DispatchTick(); });
  collect_ = timers([this] { CollectTick(); });
  activeRead_ = timers([this] { ActiveReadTick(); });
  dispatch_->SetInterval(kDispatchMs);
  collect_->SetInterval(kCollectMs);
  activeRead_->SetInterval(kActiveReadMs);
  dispatch_->SetEnabled(true);
  collect_->SetEnabled(true);
  activeRead_->SetEnabled(false);
}

TCommModbus::~TCommModbus() {
  dispatch_->SetEnabled(false);
  collect_->SetEnabled(false);
  activeRead_->SetEnabled(false);
  if (commOpen_ || serial_) CloseLink();
}

void TCommModbus::SetStopCommunication(bool v) {
  stopCommunication_ = v;
  if (serial_) serial_->Stop();
}

void TCommModbus::SetCommOptions(const TCommOptions& o) {
  options_ = o;
  options_.CommPort = NormalisePortName(o.CommPort);
}

void TCommModbus::ResizeArrays(int n) {
  n = std::max(0, n);
  const auto un = static_cast<std::size_t>(n);
  request_.resize(un);
  activeDevices_.resize(un, -1);
  commLinkError_.resize(un, 0);
  instrError_.resize(un, 0);
  enableDevices_.resize(un, 0);
}

void TCommModbus::SetCommBlockCount(int n) { ResizeArrays(n); }

void TCommModbus::SetEnableDevices(const TEnableDevices& v) {
  enableDevices_ = v;
  enableDevices_.resize(request_.size(), 0);
}

void TCommModbus::SetActiveDevices(const TActiveDevices& v) {
  activeDevices_ = v;
  activeDevices_.resize(request_.size(), -1);
}

TCommRequest TCommModbus::CommRequest() const {
  TCommRequest out;
  out.reserve(request_.size());
  for (const auto& dev : request_) {
    std::vector<TDeviceComm> blocks;
    blocks.reserve(dev.size());
    for (const auto& r : dev) blocks.push_back(Copy(r));
    out.push_back(std::move(blocks));
  }
  return out;
}

void TCommModbus::SetCommRequest(const TCommRequest& table) {
  int count = 0;
  for (const auto& dev : table)
    for (const auto& r : dev) count += std::max(0, r.RegCount);
  measureValueCount_ = count;
  activeReadData_.resize(static_cast<std::size_t>(count), 0.0);
  // The per-device arrays always match the table (a shorter table must not
  // leave the collect step indexing past them).
  if (table.size() != request_.size()) ResizeArrays(static_cast<int>(table.size()));
  for (std::size_t d = 0; d < table.size(); ++d) {
    request_[d].clear();
    for (const auto& r : table[d]) request_[d].push_back(Copy(r));
  }
}

void TCommModbus::SetSettingsFile(const std::string& path) {
  settingsFile_ = path;
  base::TMemIniFile ini(path);
  TCommOptions o = options_;
  o.CommPort = NormalisePortName(ini.ReadString(kSection, "CommPort", options_.CommPort));
  auto num = [&](const char* key, long long def) { return ini.ReadInteger(kSection, key, def); };
  o.BaudRate = static_cast<std::int32_t>(num("BaudRate", o.BaudRate));
  o.ReadIntervalTimeout = static_cast<std::uint32_t>(num("ReadIntervalTimeOut", o.ReadIntervalTimeout));
  o.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(num("ReadTotalTimeoutMultiplier", o.ReadTotalTimeoutMultiplier));
  o.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(num("ReadTotalTimeoutConstant", o.ReadTotalTimeoutConstant));
  o.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(num("WriteTotalTimeoutMultiplier", o.WriteTotalTimeoutMultiplier));
  o.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(num("WriteTotalTimeoutConstant", o.WriteTotalTimeoutConstant));
  options_ = o;
  activeReadInterval_ = static_cast<int>(num("ReadFromDevices", activeReadInterval_));
  CommTimeout = static_cast<int>(num("CommTimeout", CommTimeout));
}

bool TCommModbus::SaveCommSettings() {
  if (settingsFile_.empty()) return false;
  const std::string dir = base::ExtractFileDir(settingsFile_);
  if (!dir.empty() && !base::DirectoryExists(dir)) base::ForceDirectories(dir);
  base::TMemIniFile ini(settingsFile_);
  ini.WriteString(kSection, "CommPort", options_.CommPort);
  ini.WriteInteger(kSection, "BaudRate", options_.BaudRate);
  ini.WriteInteger(kSection, "ReadIntervalTimeOut", options_.ReadIntervalTimeout);
  ini.WriteInteger(kSection, "ReadTotalTimeoutMultiplier", options_.ReadTotalTimeoutMultiplier);
  ini.WriteInteger(kSection, "ReadTotalTimeoutConstant", options_.ReadTotalTimeoutConstant);
  ini.WriteInteger(kSection, "WriteTotalTimeoutMultiplier", options_.WriteTotalTimeoutMultiplier);
  ini.WriteInteger(kSection, "WriteTotalTimeoutConstant", options_.WriteTotalTimeoutConstant);
  ini.WriteInteger(kSection, "ReadFromDevices", activeReadInterval_);
  ini.WriteInteger(kSection, "CommTimeout", CommTimeout);
  // A settings file that could not be written is reported, not hidden.
  return ini.UpdateFile();
}

bool TCommModbus::OpenLink(bool activeRead) {
  linkError_ = 0;
  linkErrTimering_ = 0;
  ready_ = true;
  std::fill(commLinkError_.begin(), commLinkError_.end(), 0);
  std::fill(instrError_.begin(), instrError_.end(), 0);
  activeRead_->SetEnabled(false);
  if (serial_) {
    serial_->Shutdown();
    serial_.reset();
  }
  devicePath_ = ResolvePortDevice(options_.CommPort, settingsFile_);
  serial_ = std::make_unique<TSerial>(options_, devicePath_);
  if (!serial_->PortOpen()) {
    commOpen_ = false;
    return false;
  }
  commOpen_ = true;
  LastActiveRead = 0;
  if (activeRead) activeRead_->SetEnabled(true);
  return true;
}

bool TCommModbus::CloseLink() {
  activeRead_->SetEnabled(false);
  if (serial_) {
    serial_->Shutdown();
    serial_.reset();
  }
  commOpen_ = false;
  ready_ = true;
  for (auto& dev : request_) dev.clear();
  request_.clear();
  return true;
}

void TCommModbus::DispatchTick() {
  if (!commOpen_ || !serial_ || !ready_) return;
  for (std::size_t d = 0; d < request_.size(); ++d) {
    for (std::size_t b = 0; b < request_[d].size(); ++b) {
      const TDeviceComm& r = request_[d][b];
      if (!r.Active) continue;
      ready_ = false;
      aktDevice_ = static_cast<int>(d);
      aktBlock_ = static_cast<int>(b);
      switch (r.ReqKind) {
        case 0:
          serial_->StartRequest(r.DevAddress, kFuncReadHolding, r.RegAddress, r.RegCount, 0);
          break;
        case 1:
          serial_->StartRequest(r.DevAddress, kFuncWriteSingle, r.RegAddress, r.RegCount,
                                r.WriteValue ? *r.WriteValue : 0);
          break;
        default:
          serial_->StartRequest(r.DevAddress, r.FuncCode, r.FuncParam, r.RegCount, 0);
          break;
      }
      return;
    }
  }
}

void TCommModbus::CollectTick() {
  if (commOpen_ && serial_) readLineDataCnt_ = serial_->LineCounter();
  if (ready_ || !serial_) return;
  serial_->PollResult();
  serialStatus_ = serial_->Status();
  serialLinkError_ = serial_->ResultError();
  if (serialStatus_ != 2 || serial_->ThreadState() != kStIdle) return;
  serial_->MarkConsumed();
  varDataLenErrCnt_ = serial_->DiscardedCount();
  const int d = aktDevice_;
  const int b = aktBlock_;
  const auto ud = static_cast<std::size_t>(d);
  if (d >= 0 && ud < instrError_.size()) instrError_[ud] = serial_->ExceptionCode();
  const bool haveReq = ValidIndex(request_, d, b);
  const TDeviceComm req = haveReq ? request_[ud][static_cast<std::size_t>(b)] : TDeviceComm{};
  const int err = serialLinkError_;
  auto bumpFailures = [&]() -> int {
    if (d < 0 || ud >= commLinkError_.size()) return 0;
    commLinkError_[ud] = std::min(commLinkError_[ud] + 1, 4);
    return commLinkError_[ud];
  };
  auto clearFailures = [&] {
    if (d >= 0 && ud < commLinkError_.size()) commLinkError_[ud] = 0;
  };

  if (!serial_->MultiPart()) {
    if (err == kErrChecksum || err == kErrRejected || err == kErrNoReply) {
      const int n = bumpFailures();
      values_.fill(n >= 4 ? kValueFailedLong : kValueFailed);
      values_[0] = 0;
    } else {
      const auto& reg = serial_->Values();
      const int size = req.ValueSize;
      const int n = size > 0 ? req.RegCount / size : 0;
      for (int i = 1; i <= kValueSlots; ++i) {
        std::int32_t v;
        if (i > n) {
          v = kValueMissing;
        } else if (size == 1) {
          v = reg[static_cast<std::size_t>(i)];
        } else if (size == 2) {
          std::int64_t w = static_cast<std::int64_t>(reg[static_cast<std::size_t>(2 * i - 1)]) +
                           static_cast<std::int64_t>(reg[static_cast<std::size_t>(2 * i)]) * (1 << 24);
          w = static_cast<std::int32_t>(static_cast<std::uint32_t>(w & 0xFFFFFFFF));
          if (w > 0x800000) w -= 0x1000000;
          v = static_cast<std::int32_t>(w);
        } else {
          v = 0;
        }
        values_[static_cast<std::size_t>(i)] = v;
      }
      clearFailures();
    }
    if (haveReq) StoreActiveData(d, b, req);
  } else {
    if (err == kErrNone || err == kErrException) {
      clearFailures();
      BlockData = serial_->BlockData();
    } else {
      bumpFailures();
      BlockData = "ERROR";
    }
  }

  // Last block of the last enabled active device: the active read is complete.
  for (std::size_t e = activeDevices_.size(); e-- > 0;) {
    const int dev = activeDevices_[e];
    if (dev < 0 || dev >= static_cast<int>(request_.size())) continue;
    if (static_cast<std::size_t>(dev) >= enableDevices_.size() || !enableDevices_[static_cast<std::size_t>(dev)]) continue;
    if (dev == d && b == static_cast<int>(request_[static_cast<std::size_t>(dev)].size()) - 1 && OnAllActiveRead)
      OnAllActiveRead(*this);
    break;
  }

  bool wasActive = false;
  TNotifyEvent callback;
  if (ValidIndex(request_, d, b)) {
    TDeviceComm& r = request_[ud][static_cast<std::size_t>(b)];
    wasActive = r.Active != 0;
    if (!r.Repeat) r.Active = 0;
    callback = r.OnReceived;
  }
  ready_ = true;
  if (wasActive && callback) callback(*this);
}

void TCommModbus::StoreActiveData(int device, int block, const TDeviceComm& r) {
  std::size_t start = 0;
  for (std::size_t k = 0; k < request_.size(); ++k) {
    std::size_t slots = 0;
    for (const auto& q : request_[k]) slots += static_cast<std::size_t>(std::max(0, q.RegCount));
    const bool enabled = k < enableDevices_.size() && enableDevices_[k];
    if (!enabled) {
      for (std::size_t s = start; s < start + slots && s < activeReadData_.size(); ++s) activeReadData_[s] = -1000.0;
    }
    if (static_cast<int>(k) < device) start += slots;
  }
  // A device left out of the active read keeps -1000 in its slots.
  if (static_cast<std::size_t>(device) >= enableDevices_.size() || !enableDevices_[static_cast<std::size_t>(device)]) return;
  const auto& blocks = request_[static_cast<std::size_t>(device)];
  for (int j = 0; j < block; ++j) start += static_cast<std::size_t>(std::max(0, blocks[static_cast<std::size_t>(j)].RegCount));
  const int n = std::min(r.RegCount, kValueSlots);
  for (int i = 1; i <= n; ++i) {
    const std::size_t slot = start + static_cast<std::size_t>(i - 1);
    if (slot >= activeReadData_.size()) break;
    StoreValue(activeReadData_[slot], values_[static_cast<std::size_t>(i)], i, r.ValueType, r.Divisor);
  }
}

void TCommModbus::Activate() {
  for (std::size_t e = 0; e < activeDevices_.size(); ++e) {
    const int dev = activeDevices_[e];
    if (dev < 0 || dev >= static_cast<int>(request_.size())) continue;
    const bool on = static_cast<std::size_t>(dev) < enableDevices_.size() && enableDevices_[static_cast<std::size_t>(dev)];
    for (auto& r : request_[static_cast<std::size_t>(dev)]) r.Active = on ? 1 : 0;
  }
}

bool TCommModbus::Pending() {
  linkError_ = 0;
  for (std::size_t e = 0; e < activeDevices_.size(); ++e) {
    const int dev = activeDevices_[e];
    if (dev < 0 || dev >= static_cast<int>(request_.size())) continue;
    for (const auto& r : request_[static_cast<std::size_t>(dev)]) {
      if (r.Active) {
        linkError_ = 1;
        return true;
      }
    }
  }
  return false;
}

void TCommModbus::ActiveReadTick() {
  if (!commOpen_ || request_.empty() || activeDevices_.empty()) return;
  const double now = base::Now();
  double due = LastActiveRead + activeReadInterval_ / base::kMsPerDay;
  if (LastActiveRead == 0 || due == now) {
    due = now;
    if (!Pending()) {
      LastActiveRead = due;
      linkErrTimering_ = 0;
      Activate();
    } else if (linkErrTimering_ == 0) {
      linkErrTimering_ = 1;
    }
  } else if (due < now && due + CommTimeout / base::kMsPerDay > now) {
    if (!Pending()) {
      LastActiveRead = due;
      Activate();
      linkErrTimering_ = 1;
    } else {
      activeRead_->SetEnabled(false);
      activeRead_->SetEnabled(true);
      linkErrTimering_ = 1;
    }
  } else if (due + CommTimeout / base::kMsPerDay < now) {
    const bool running = activeRead_->Enabled();
    activeRead_->SetEnabled(false);
    LastActiveRead = now;
    linkErrTimering_ = 2;
    Activate();
    if (OnActiveReadTimeOut) OnActiveReadTimeOut(*this);
    if (running) activeRead_->SetEnabled(true);
  }
}

}  // namespace kv90::comm
