// TCommModbus: the request engine of the logger link.
//
// It keeps a table of requests (devices, each with blocks), sends them one
// at a time through a TSerial, and hands every result back on the
// user-interface thread through the request's OnReceived callback.
//
//   request:  inactive -> Active (caller / active reading)
//             -> outstanding (dispatch tick: ready false, StartRequest)
//             -> consumed (collect tick: result read, OnReceived called,
//                Active cleared unless Repeat, ready true)
//
// Invariants:
//  1. At most one request is outstanding; ready is false exactly while one is.
//  2. Callbacks run inside the collect tick on the user-interface thread and
//     may get, edit and set the request table (even close the link); the
//     collect tick re-checks every index after a callback.
//  3. CommRequest() and SetCommRequest() copy: the caller never holds a
//     reference into the engine's table.
//  4. After CloseLink() the table is empty.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/comm/comm_timer.h"
#include "monitor/comm/serial.h"
#include "monitor/comm/wire.h"

namespace kv90::comm {

class TCommModbus;
using TNotifyEvent = std::function<void(TCommModbus& sender)>;

// One request.
struct TDeviceComm {
  std::int32_t DevAddress = 0;
  std::uint8_t ReqKind = 0;       // 0 read registers, 1 write one register, 2 FuncCode
  std::uint8_t Active = 0;
  std::int32_t FuncCode = 0;
  std::int32_t FuncParam = 0;
  std::int32_t RegAddress = 0;
  std::int32_t RegCount = 0;
  std::int32_t ValueSize = 1;
  std::int32_t* WriteValue = nullptr;  // must be set for ReqKind 1
  TNotifyEvent OnReceived;
  std::string BlockName;
  std::uint8_t ValueType = 0;
  std::int32_t Divisor = 1;
  std::uint8_t Repeat = 0;
};

using TCommRequest = std::vector<std::vector<TDeviceComm>>;
using TActiveDevices = std::vector<std::int32_t>;
using TEnableDevices = std::vector<std::uint8_t>;
using TIntegerArray = std::vector<std::int32_t>;
using TRealArray = std::vector<double>;

// Decoded register values with a special meaning.
constexpr std::int32_t kValueMissing = -32000;      // not in the reply
constexpr std::int32_t kValueFailed = -22004;       // failed reply
constexpr std::int32_t kValueFailedLong = -22003;   // four or more failed replies

constexpr int kDispatchMs = 300;
constexpr int kCollectMs = 300;
constexpr int kActiveReadMs = 1000;

class TCommModbus {
 public:
  // Timers come from `timers` (default: QTimer).
  explicit TCommModbus(TimerFactory timers = {});
  ~TCommModbus();
  TCommModbus(const TCommModbus&) = delete;
  TCommModbus& operator=(const TCommModbus&) = delete;

  // ---- published properties ----
  int AktRdDeviceID() const { return aktDevice_; }
  int AktRdBlockID() const { return aktBlock_; }
  TRealArray ActiveReadData() const { return activeReadData_; }
  std::uintptr_t SerialThrHnd() const { return serial_ ? serial_->ThreadHandle() : 0; }
  std::mutex* SerialDrvCS() const { return serial_ ? &serial_->Lock() : nullptr; }
  std::uint32_t SerialThrID() const { return serial_ ? serial_->ThreadId() : 0; }
  int SerialThrState() const { return serial_ ? serial_->ThreadState() : 0; }
  int SerialStatus() const { return serialStatus_; }
  int SerialLinkError() const { return serialLinkError_; }
  int LinkErrTimering() const { return linkErrTimering_; }
  int LinkError() const { return linkError_; }
  TIntegerArray CommLinkError() const { return commLinkError_; }
  TIntegerArray InstrError() const { return instrError_; }
  int ReadLineDataCnt() const { return readLineDataCnt_; }
  std::uint32_t VarDataLenErrCnt() const { return varDataLenErrCnt_; }
  void SetStopCommunication(bool v);
  TCommOptions CommOptions() const { return options_; }
  void SetCommOptions(const TCommOptions& o);
  int CommBlockCount() const { return static_cast<int>(request_.size()); }
  void SetCommBlockCount(int n);
  bool CommOpen() const { return commOpen_; }
  const std::string& SettingsFile() const { return settingsFile_; }
  void SetSettingsFile(const std::string& path);
  int MeasureValueCount() const { return measureValueCount_; }
  TCommRequest CommRequest() const;
  void SetCommRequest(const TCommRequest& table);
  TEnableDevices EnableDevices() const { return enableDevices_; }
  void SetEnableDevices(const TEnableDevices& v);
  int ActiveReadInterval() const { return activeReadInterval_; }
  void SetActiveReadInterval(int ms) { activeReadInterval_ = ms; }
  TActiveDevices ActiveDevices() const { return activeDevices_; }
  void SetActiveDevices(const TActiveDevices& v);
  TNotifyEvent OnAllActiveRead;
  TNotifyEvent OnActiveReadTimeOut;

  // ---- other public state ----
  Bytes BlockData;                   // last 0x41 reply, "ERROR" after a failure
  double LastActiveRead = 0;         // date-time, 0 = never
  int CommTimeout = 30000;           // ms
  bool Ready() const { return ready_; }
  // The host device the port name resolved to at the last OpenLink.
  const std::string& DevicePath() const { return devicePath_; }
  std::array<std::int32_t, kValueSlots + 1> LastValues() const { return values_; }

  // ---- operations ----
  bool SaveCommSettings();
  bool OpenLink(bool activeRead);
  bool CloseLink();

  // Timer handlers; with a manual timer factory tests call them directly.
  void DispatchTick();
  void CollectTick();
  void ActiveReadTick();
  ITimer& DispatchTimer() { return *dispatch_; }
  ITimer& CollectTimer() { return *collect_; }
  ITimer& ActiveReadTimer() { return *activeRead_; }

 private:
  void ResizeArrays(int n);
  void StoreActiveData(int device, int block, const TDeviceComm& r);
  void Activate();
  bool Pending();

  std::unique_ptr<ITimer> dispatch_, collect_, activeRead_;
  std::unique_ptr<TSerial> serial_;
  TCommOptions options_;
  std::string settingsFile_;
  std::string devicePath_;
  TCommRequest request_;
  TActiveDevices activeDevices_;
  TEnableDevices enableDevices_;
  TIntegerArray commLinkError_, instrError_;
  TRealArray activeReadData_;
  std::array<std::int32_t, kValueSlots + 1> values_{};
  int aktDevice_ = 0, aktBlock_ = 0;
  int serialStatus_ = 0, serialLinkError_ = 0;
  int linkErrTimering_ = 0, linkError_ = 0;
  int readLineDataCnt_ = 0;
  std::uint32_t varDataLenErrCnt_ = 0;
  int measureValueCount_ = 0;
  int activeReadInterval_ = 30000;
  bool commOpen_ = false;
  bool ready_ = true;
  bool stopCommunication_ = false;
};

}  // namespace kv90::comm
