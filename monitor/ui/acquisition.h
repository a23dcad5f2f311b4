// TAcquisition: the on-line acquisition cycle of the monitor, without widgets.
//
// It owns the request engine with the program's three requests to the
// logger, the on-line database and the three timers, decodes every reply,
// keeps the texts of the 50 value fields, stores one record per logging
// period, archives the database when the logger is reconfigured, and reports
// through status messages and the log.  The main window shows its state and
// forwards the user's commands; nothing here ever opens a dialog box.
//
// Cycle states (the timers run on the user-interface thread):
//
//   no configuration --good config block--> configured (timers at the
//     both timers 10 s                        logger's WrTime / RdTime)
//   configured --values length mismatch--> config read --> reconfigured:
//     archive Data/data.* , new database, back to configured
//   configured --download requested--> downloading (timers stopped)
//     --logger reply--> config read --> configured
//
// Invariants:
//  1. One record is appended per good configuration read while configured,
//     plus one after the first values reply since the start, a
//     reconfiguration or a download; its time step is the configuration
//     timer's period, and the first record after any of these starts a new
//     segment.
//  2. A value that could not be read is stored as -22000.0 while fewer than
//     three replies in a row failed, as -22003.0 from the third on.
//  3. The on-line database files are deleted only after they were archived;
//     a failed archive leaves them in place and is tried again at the next
//     configuration read.
//  4. Timer periods are never below 1 s (values) and 1 min (configuration),
//     whatever the logger reports.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/comm/comm_modbus.h"
#include "monitor/comm/comm_timer.h"
#include "monitor/comm/logger_blocks.h"
#include "monitor/comm/logger_config.h"
#include "monitor/storage/frx_database.h"
#include "monitor/ui/language.h"
#include "monitor/ui/paths.h"
#include "monitor/ui/settings.h"
#include "monitor/ui/status_log.h"

namespace kv90::app {

constexpr int kDeviceBoxes = 16;
constexpr int kValueFields = 50;
constexpr int kNoConfigPeriodMs = 10000;
constexpr double kCodeNotRead = -22000.0;
constexpr double kCodeLongFailure = -22003.0;
constexpr const char* kNoValue = "----";

// Why a configuration read was started.
enum class ReadReason { None = 0, Timer = 1, Button = 2, Download = 3, Other = 4 };
// What the link is busy with.
enum class Busy { Idle = 0, Config = 1, Values = 2, Download = 3 };

// Engine devices of the three requests.
enum EngineDevice { kReqConfig = 0, kReqValues = 1, kReqLogger = 2 };

struct TAcquisitionEvents {
  std::function<void()> OnValues;        // field texts changed
  std::function<void()> OnLayout;        // devices shown may have changed
  std::function<void()> OnConfigPanels;  // status panels 1..4 changed
  std::function<void()> OnGauge;         // gauge visibility, range or position
  std::function<void()> OnHistoryRefresh;
  std::function<void(const std::string& rdcPath)> OnArchived;
  std::function<void()> OnDatabaseReopened;   // (re)create the database manager
  std::function<void()> OnSampleStored;
  // true: a logger download starts (automatic backup off); false: it ended.
  std::function<void(bool)> OnBackupSuspend;
  // Lines of a finished logger download, with the configuration.
  std::function<void(const LoggerConfig&, const std::vector<std::string>&)> OnLoggerLines;
};

class TAcquisition {
 public:
  TAcquisition(TAppPaths paths, TLanguage& lang, TStatusLog& status, comm::TimerFactory timers = {});
  ~TAcquisition();
  TAcquisition(const TAcquisition&) = delete;
  TAcquisition& operator=(const TAcquisition&) = delete;

  TAcquisitionEvents Events;

  // Steps 7, 11 and 12 of the window's start: engine, database, first read.
  void Start();
  // Stops the timers and closes the link and the database.
  void Stop();

  // ---- commands of the window ----
  void ComReadConfig(ReadReason reason);
  void ComReadValues();
  void ComReadDlogData();
  void RequestLoggerDownload();          // the history view's import request
  // Settings page: new port/baud (reopens the link when they differ).
  void ApplyLinkSettings(const std::string& port, int baud, int loggerAddress, bool moveBackupFiles);
  // Database page: restore is run by the window, which then calls this.
  void CloseDatabase();
  void AfterRestore();

  // The values reply handler as the engine calls it (public for benchmarks).
  void HandleValuesReply() { OnValuesReply(); }

  // ---- timer handlers (public for the window and tests) ----
  void t_RdConfigTimer();
  void t_RdDevDataTimer();
  void t_ComStatusTimer();

  // ---- state ----
  const LoggerConfig& Config() const { return cfg_; }
  const ConfigBlock& ConfigFields() const { return fields_; }
  int FailCount() const { return failCount_; }
  bool Configured() const { return configured_; }
  bool SampleStored() const { return sampleStored_; }
  bool LoggerDetected() const { return loggerDetected_; }
  bool DownloadInProgress() const { return downloadProgress_; }
  ReadReason Reason() const { return reason_; }
  Busy BusyState() const { return busy_; }
  // Devices shown and stored (the configuration's devices, cut so that
  // their channels fit the 50 fields).
  int ShownDevices() const;
  int StoredChannels() const;
  // The texts of the value fields, device by device, channel by channel.
  const std::vector<std::string>& FieldTexts() const { return fields50_; }
  std::string StatusPanel(int i) const;  // panels 1..4
  int GaugeMax() const { return gaugeMax_; }
  int GaugePos() const { return gaugePos_; }
  bool GaugeVisible() const { return gaugeVisible_; }
  const std::vector<std::string>& LoggerLines() const { return lines_; }

  bool Started() const { return comm_ != nullptr; }
  comm::TCommModbus& Engine() { return *comm_; }
  TFRXDatabase& Database() { return db_; }
  const TAppPaths& Paths() const { return paths_; }
  int LoggerAddress() const { return address_; }
  bool MoveBackupFiles() const { return moveBackupFiles_; }
  comm::ITimer& ConfigTimer() { return *tConfig_; }
  comm::ITimer& ValuesTimer() { return *tValues_; }
  int GetMeasuredDataByteCnt() const { return MeasuredByteCount(cfg_); }
  int GetLineDataByteCnt() const { return LineByteCount(cfg_); }
  // Records stored since Start().
  long StoredRecords() const { return storedRecords_; }

  // Channel names and captions for the values panel.
  std::string ChannelName(int device, int channel) const;
  std::string DeviceCaption(int device) const;

 private:
  void SetupRequests();
  void OpenLink(bool quiet);
  void OnConfigReply();
  void OnValuesReply();
  void OnLoggerReply();
  void ReplyFailed();
  void ReplyGood();
  void AllFields(const std::string& text);
  void StoreSample();
  bool OpenDatabase(int channels, bool create);
  void CheckReconfiguration();
  void SetPeriods();
  std::string BackupDir() const;
  void SplitLoggerBlock(const std::string& block);
  void Message(Msg m, int durationMs, const std::vector<std::string>& args = {});
  void Fire(const std::function<void()>& f) { if (f) f(); }

  TAppPaths paths_;
  TLanguage& lang_;
  TStatusLog& status_;
  comm::TimerFactory timers_;
  std::unique_ptr<comm::TCommModbus> comm_;
  std::unique_ptr<comm::ITimer> tConfig_, tValues_, tComStatus_, tGaugeHide_;
  TFRXDatabase db_;

  LoggerConfig cfg_;
  ConfigBlock fields_;
  std::vector<std::string> fields50_;
  int failCount_ = 0;
  ReadReason reason_ = ReadReason::None;
  Busy busy_ = Busy::Idle;
  bool configured_ = false;
  bool sampleStored_ = false;
  bool downloadProgress_ = false;
  bool loggerDetected_ = true;
  bool newSegment_ = true;
  bool haveBlock_ = false;  // a configuration block has arrived since the start
  bool stopping_ = false;
  int address_ = kDefaultLoggerAddress;
  bool moveBackupFiles_ = false;
  int gaugeMax_ = 0, gaugePos_ = 0;
  bool gaugeVisible_ = false;
  std::vector<std::string> lines_;
  long storedRecords_ = 0;
};

// Parses a field text into the stored double (rules in invariant 2).
double SampleValue(const std::string& text, int failCount, char decimalSeparator);

}  // namespace kv90::app
