// The acquisition cycle: requests, reply handlers, samples, reconfiguration.
#include "monitor/ui/acquisition.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "monitor/comm/serial_port.h"
#include "monitor/storage/device_config_file.h"
#include "monitor/ui/archive.h"
#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace fs = std::filesystem;

namespace kv90::app {
namespace {

char DecimalSeparator() { return base::DefaultFormatSettings().decimalSeparator; }

// Same device count and the same five words of every device.
bool SameLayout(const LoggerConfig& a, const LoggerConfig& b) {
  if (a.DeviceCount != b.DeviceCount) return false;
  if (!a.Known()) return true;
  for (int i = 0; i < std::min<int>(a.DeviceCount, kMaxDevices); ++i)
    if (!(a.Devices[static_cast<std::size_t>(i)] == b.Devices[static_cast<std::size_t>(i)])) return false;
  return true;
}

bool HasDevices(const LoggerConfig& c) { return c.Known() && c.DeviceCount != 0; }

}  // namespace

double SampleValue(const std::string& text, int failCount, char sep) {
  std::string t = base::Trim(text);
  if (!t.empty() && t != kNoValue) {
    if (auto v = base::ParseFloat(t, sep)) return *v;
  }
  return failCount >= 3 ? kCodeLongFailure : kCodeNotRead;
}

TAcquisition::TAcquisition(TAppPaths paths, TLanguage& lang, TStatusLog& status, comm::TimerFactory timers)
    : paths_(std::move(paths)), lang_(lang), status_(status), timers_(timers ? timers : comm::MakeQtTimer) {
  tConfig_ = timers_([this] { t_RdConfigTimer(); });
  tValues_ = timers_([this] { t_RdDevDataTimer(); });
  tComStatus_ = timers_([this] { t_ComStatusTimer(); });
  tGaugeHide_ = timers_([this] {
    tGaugeHide_->SetEnabled(false);
    gaugeVisible_ = false;
    Fire(Events.OnGauge);
  });
  tConfig_->SetEnabled(false);
  tConfig_->SetInterval(60000);
  tValues_->SetEnabled(false);
  tValues_->SetInterval(kNoConfigPeriodMs);
  tComStatus_->SetEnabled(false);
  tComStatus_->SetInterval(1000);
  tGaugeHide_->SetEnabled(false);
  tGaugeHide_->SetInterval(4000);
  fields50_.assign(kValueFields, std::string());
}

TAcquisition::~TAcquisition() { Stop(); }

void TAcquisition::Message(Msg m, int durationMs, const std::vector<std::string>& args) {
  status_.ShowAndLog(lang_.Format(m, args), durationMs);
}

// ---------------------------------------------------------------- start / stop

void TAcquisition::Start() {
  stopping_ = false;
  const TMonitorSettings s = TMonitorSettings::Load(paths_.SettingsFile());
  address_ = s.LoggerAddress;
  moveBackupFiles_ = s.MoveBackupFiles;

  comm_ = std::make_unique<comm::TCommModbus>(timers_);
  comm::TCommOptions o = comm_->CommOptions();
  o.CommPort = "Com1";
  comm_->SetCommOptions(o);
  comm_->SetActiveReadInterval(10000);
  comm_->SetSettingsFile(paths_.SettingsFile());
  SetupRequests();
  comm_->OnActiveReadTimeOut = [this](comm::TCommModbus&) { Message(Msg::CommReadIntervalIsShort, 4000); };
  OpenLink(false);
  comm_->SaveCommSettings();
  tConfig_->SetEnabled(true);

  std::string err;
  LoggerConfig stored;
  if (!ReadDeviceConfig(paths_.OnlineRdc(), stored, err)) {
    Message(Msg::ErrorOnRdCfgFileName, -1, {paths_.OnlineRdc(), err});
    stored = LoggerConfig{};
  }
  cfg_ = stored;
  if (!cfg_.Known()) {
    OpenDatabase(0, true);
    tValues_->SetInterval(kNoConfigPeriodMs);
    tConfig_->SetInterval(kNoConfigPeriodMs);
  } else {
    OpenDatabase(StoredChannels(), true);
    SetPeriods();
  }
  Fire(Events.OnLayout);
  newSegment_ = true;
  t_RdConfigTimer();
}

void TAcquisition::Stop() {
  stopping_ = true;
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  tComStatus_->SetEnabled(false);
  tGaugeHide_->SetEnabled(false);
  if (comm_) {
    comm_->CloseLink();
    comm_.reset();
  }
  db_.Close();
}

void TAcquisition::SetupRequests() {
  comm_->SetCommBlockCount(3);
  comm::TCommRequest table = comm_->CommRequest();
  table.resize(3);
  const char* names[3] = {"Konfigurace", "Merena data", "Datalogger"};
  for (int i = 0; i < 3; ++i) {
    auto& dev = table[static_cast<std::size_t>(i)];
    dev.resize(1);
    comm::TDeviceComm& r = dev[0];
    r.ReqKind = 2;
    r.FuncCode = 0x41;
    r.FuncParam = i + 1;
    r.DevAddress = address_;
    r.ValueType = 10;
    r.Repeat = 0;
    r.Active = 0;
    r.BlockName = names[i];
    r.RegCount = i == kReqConfig ? kConfigDataLength : i == kReqValues ? GetMeasuredDataByteCnt() : GetLineDataByteCnt();
  }
  table[kReqConfig][0].OnReceived = [this](comm::TCommModbus&) { OnConfigReply(); };
  table[kReqValues][0].OnReceived = [this](comm::TCommModbus&) { OnValuesReply(); };
  table[kReqLogger][0].OnReceived = [this](comm::TCommModbus&) { OnLoggerReply(); };
  comm_->SetCommRequest(table);
  comm_->SetActiveDevices({-1, -1, -1});
  comm_->SetEnableDevices({0, 0, 0});
}

void TAcquisition::OpenLink(bool quiet) {
  if (comm_->CommRequest().size() != 3) SetupRequests();
  if (comm_->OpenLink(true)) {
    Message(Msg::CommWasOpen, 4000);
  } else if (!quiet) {
    Message(Msg::CommWasNotOpen, 20000);
  }
}

void TAcquisition::SetPeriods() {
  const int values = std::max<int>(1, cfg_.RdTime) * 1000;
  const int config = std::max<int>(1, cfg_.WrTime) * 60000;
  if (tValues_->Interval() != values) tValues_->SetInterval(values);
  if (tConfig_->Interval() != config) tConfig_->SetInterval(config);
}

// ---------------------------------------------------------------- requests

void TAcquisition::ComReadConfig(ReadReason reason) {
  if (!comm_) return;
  comm::TCommRequest t = comm_->CommRequest();
  if (t.size() != 3) { SetupRequests(); t = comm_->CommRequest(); }
  t[kReqConfig][0].Active = 1;
  t[kReqConfig][0].DevAddress = address_;
  t[kReqConfig][0].RegCount = kConfigDataLength;
  comm_->SetCommRequest(t);
  reason_ = reason;
  busy_ = Busy::Config;
}

void TAcquisition::ComReadValues() {
  if (!comm_) return;
  comm::TCommRequest t = comm_->CommRequest();
  if (t.size() != 3) { SetupRequests(); t = comm_->CommRequest(); }
  t[kReqValues][0].Active = 1;
  t[kReqValues][0].DevAddress = address_;
  t[kReqValues][0].RegCount = GetMeasuredDataByteCnt();
  comm_->SetCommRequest(t);
  busy_ = Busy::Values;
}

void TAcquisition::ComReadDlogData() {
  if (!comm_) return;
  if (Events.OnBackupSuspend) Events.OnBackupSuspend(true);
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  tComStatus_->SetEnabled(true);
  comm::TCommRequest t = comm_->CommRequest();
  if (t.size() != 3) { SetupRequests(); t = comm_->CommRequest(); }
  t[kReqLogger][0].Active = 1;
  t[kReqLogger][0].DevAddress = address_;
  t[kReqLogger][0].RegCount = GetLineDataByteCnt();
  t[kReqConfig][0].Active = 0;
  t[kReqValues][0].Active = 0;
  comm_->SetCommRequest(t);
  gaugePos_ = 0;
  gaugeVisible_ = true;
  tGaugeHide_->SetEnabled(false);
  Fire(Events.OnGauge);
  busy_ = Busy::Download;
}

void TAcquisition::RequestLoggerDownload() {
  if (downloadProgress_ || busy_ == Busy::Download) return;
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  configured_ = false;
  Message(Msg::DloggMemReading, -1);
  AllFields(kNoValue);
  Fire(Events.OnValues);
  downloadProgress_ = true;
  ComReadConfig(ReadReason::Download);
}

// ---------------------------------------------------------------- timers

void TAcquisition::t_RdConfigTimer() {
  if (!tConfig_->Enabled()) tConfig_->SetEnabled(true);
  if (!comm_) return;
  // A port that was missing at start (adapter unplugged) is tried again.
  if (!comm_->CommOpen()) {
    OpenLink(true);
    if (!comm_->CommOpen()) return;
  }
  ComReadConfig(ReadReason::Timer);
}

void TAcquisition::t_RdDevDataTimer() {
  if (!tValues_->Enabled()) tValues_->SetEnabled(true);
  if (!cfg_.Known()) return;
  if (cfg_.DeviceCount == 0) {
    Message(Msg::DlogNotConfigured, -1);
    configured_ = false;
    tConfig_->SetEnabled(false);
    tValues_->SetEnabled(false);
    tConfig_->SetInterval(kNoConfigPeriodMs);
    tValues_->SetInterval(kNoConfigPeriodMs);
    t_RdConfigTimer();
    return;
  }
  ComReadValues();
}

void TAcquisition::t_ComStatusTimer() {
  if (!downloadProgress_ || !comm_) return;
  gaugePos_ = comm_->ReadLineDataCnt();
  Fire(Events.OnGauge);
}

// ---------------------------------------------------------------- replies

void TAcquisition::ReplyFailed() {
  if (failCount_ == 0) {
    Message(Msg::DlogWasNotDetect, -1);
    loggerDetected_ = false;
    Fire(Events.OnHistoryRefresh);
  }
  if (++failCount_ >= 3) {
    failCount_ = 3;
    AllFields(kNoValue);
    Fire(Events.OnValues);
  }
}

void TAcquisition::ReplyGood() {
  if (failCount_ != 0) {
    Message(Msg::DLogWasDetect, 4000);
    loggerDetected_ = true;
    Fire(Events.OnHistoryRefresh);
  }
  failCount_ = 0;
}

void TAcquisition::AllFields(const std::string& text) { std::fill(fields50_.begin(), fields50_.end(), text); }

void TAcquisition::OnConfigReply() {
  const std::string block = comm_->BlockData;
  ConfigBlock f;
  LoggerConfig c = cfg_;
  const bool good = block != "ERROR" && DecodeConfigBlock(block, f, c);
  if (!good) {
    ReplyFailed();
    tValues_->SetEnabled(true);
    if (reason_ == ReadReason::Download) {
      // No configuration, no transfer: the download ends as failed.
      comm_->BlockData = "ERROR";
      OnLoggerReply();
      return;
    }
  } else {
    ReplyGood();
    fields_ = f;
    haveBlock_ = true;
    cfg_ = c;
    Fire(Events.OnConfigPanels);
    gaugeMax_ = static_cast<int>(std::min<std::uint32_t>(f.SegmentSetCnt, 0x7FFFFFFF));
    if (!configured_ && cfg_.DeviceCount != 0) {
      tConfig_->SetEnabled(false);
      tValues_->SetEnabled(false);
      SetPeriods();
      tConfig_->SetEnabled(true);
      tValues_->SetEnabled(true);
      t_RdDevDataTimer();
    }
  }
  if (!cfg_.Known()) { busy_ = Busy::Idle; return; }
  if (reason_ != ReadReason::Download) {
    if (good) CheckReconfiguration();
    Fire(Events.OnLayout);
    if (configured_) StoreSample();
    configured_ = true;
    reason_ = ReadReason::None;
    t_RdDevDataTimer();
  } else if (fields_.SegmentAktCnt != 0) {
    ComReadDlogData();
    return;
  } else {
    comm_->BlockData.clear();
    OnLoggerReply();
    Fire(Events.OnHistoryRefresh);
    return;
  }
  busy_ = Busy::Idle;
}

void TAcquisition::OnValuesReply() {
  busy_ = Busy::Idle;
  if (comm_->SerialLinkError() == comm::kErrLength) {
    configured_ = false;
    sampleStored_ = false;
    t_RdConfigTimer();
    return;
  }
  const std::string block = comm_->BlockData;
  if (block == "ERROR") {
    ReplyFailed();
  } else {
    ReplyGood();
    SetPeriods();
    if (ValuesReturnDataCnt(block) != GetMeasuredDataByteCnt()) {
      configured_ = false;
      sampleStored_ = false;
      t_RdConfigTimer();
      return;
    }
  }
  if (failCount_ == 0) {
    const int n = StoredChannels();
    const auto values = DecodeMeasuredValues(block, cfg_, DecimalSeparator());
    for (int i = 0; i < n && i < static_cast<int>(values.size()); ++i)
      fields50_[static_cast<std::size_t>(i)] = values[static_cast<std::size_t>(i)].Text;
    Fire(Events.OnValues);
  } else if (failCount_ >= 3) {
    AllFields(kNoValue);
    Fire(Events.OnValues);
  }
  if (!sampleStored_) StoreSample();
}

void TAcquisition::OnLoggerReply() {
  if (Events.OnBackupSuspend) Events.OnBackupSuspend(false);
  const std::string block = comm_->BlockData;
  if (block == "ERROR") {
    Message(Msg::DLogCommError, -1);
    if (!stopping_) Fire(Events.OnHistoryRefresh);
  } else {
    Message(Msg::DlogCommWasEndWith, -1, {std::to_string(comm_->VarDataLenErrCnt())});
    SplitLoggerBlock(block);
    if (reason_ == ReadReason::Download && Events.OnLoggerLines) Events.OnLoggerLines(cfg_, lines_);
  }
  downloadProgress_ = false;
  tComStatus_->SetEnabled(false);
  reason_ = ReadReason::None;
  busy_ = Busy::Idle;
  tGaugeHide_->SetEnabled(false);
  tGaugeHide_->SetEnabled(true);
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  sampleStored_ = false;
  newSegment_ = true;
  t_RdConfigTimer();
}

void TAcquisition::SplitLoggerBlock(const std::string& block) {
  lines_.clear();
  const std::size_t L = static_cast<std::size_t>(GetLineDataByteCnt());
  if (L == 0 || block.size() < L) return;
  Message(Msg::RamToRecordConversion, -1);
  const int maxLines = comm_->ReadLineDataCnt();
  gaugeMax_ = maxLines;
  std::size_t pos = 0;
  for (int i = 0; i < maxLines && pos < block.size(); ++i) {
    const std::size_t len = i == 0 ? L + 6 : L;
    lines_.push_back(block.substr(pos, len));
    pos += len;
    gaugePos_ = i + 1;
  }
  Fire(Events.OnGauge);
}

// ---------------------------------------------------------------- database

int TAcquisition::ShownDevices() const {
  if (!cfg_.Known()) return 0;
  int total = 0;
  const int n = std::min<int>(cfg_.DeviceCount, kMaxDevices);
  for (int d = 0; d < n; ++d) {
    const int ch = ChannelCount(cfg_.Devices[static_cast<std::size_t>(d)]);
    if (total + ch > kValueFields) return d;
    total += ch;
  }
  return n;
}

int TAcquisition::StoredChannels() const {
  int total = 0;
  for (int d = 0; d < ShownDevices(); ++d) total += ChannelCount(cfg_.Devices[static_cast<std::size_t>(d)]);
  return total;
}

bool TAcquisition::OpenDatabase(int channels, bool create) {
  const std::string path = paths_.OnlineDb();
  try {
    if (!base::FileExists(path)) {
      if (!create) return false;
      if (db_.Create(path, channels) != 0) {
        status_.ShowAndLog(db_.LastError(), -1);
        return false;
      }
      if (channels > 0) Message(Msg::CreateNewDBWith, -1, {std::to_string(channels)});
    }
    if (db_.Open(path, channels, true) != 0 || !db_.DatabaseOpen()) {
      status_.ShowAndLog(db_.LastError(), -1);
      return false;
    }
    if (!db_.RepairNote().empty()) status_.Log(db_.RepairNote());
  } catch (const std::exception& e) {
    status_.ShowAndLog(e.what(), -1);
    return false;
  }
  Fire(Events.OnDatabaseReopened);
  return true;
}

void TAcquisition::StoreSample() {
  const int n = StoredChannels();
  if (n <= 0) return;
  TFile_Data rec;
  rec.Values.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    rec.Values[static_cast<std::size_t>(i)] = SampleValue(fields50_[static_cast<std::size_t>(i)], failCount_, DecimalSeparator());
  sampleStored_ = true;
  if (db_.DatabaseOpen() && db_.DatabaseDataValuesCount() != n) {
    // A database of another layout (files changed behind our back): keep it
    // in the archive and start a new one rather than refuse every record.
    db_.Close();
    auto a = ArchiveOnlineDatabase(paths_.OnlineDb(), base::Now());
    if (!a.Ok) { status_.ShowAndLog(a.Error, -1); return; }
    if (Events.OnArchived && !a.RdcPath.empty()) Events.OnArchived(a.RdcPath);
    std::string err;
    if (!WriteDeviceConfig(paths_.OnlineRdc(), cfg_, err)) Message(Msg::ErrorOnSaveDevConfigWith, -1, {err});
    newSegment_ = true;
  }
  if (!db_.DatabaseOpen() && !OpenDatabase(n, true)) return;
  rec.Time = base::Now();
  const double interval = tConfig_->Interval() / 1000.0;
  try {
    if (db_.Append(rec, newSegment_, interval) == 1) {
      newSegment_ = false;
      ++storedRecords_;
      Fire(Events.OnSampleStored);
    } else {
      status_.ShowAndLog(db_.LastError(), -1);
    }
  } catch (const std::exception& e) {
    status_.ShowAndLog(e.what(), -1);
  }
}

void TAcquisition::CheckReconfiguration() {
  LoggerConfig stored;
  std::string err;
  if (!ReadDeviceConfig(paths_.OnlineRdc(), stored, err)) {
    Message(Msg::ErrorOnRdCfgFileName, -1, {paths_.OnlineRdc(), err});
    stored = LoggerConfig{};
  }
  if (SameLayout(stored, cfg_)) return;

  db_.Close();
  const double now = base::Now();
  const std::string data = paths_.OnlineDb();
  const bool hasRecords = base::FileSize(data) > 0;
  if (HasDevices(stored) || hasRecords) {
    auto a = ArchiveOnlineDatabase(data, now);
    if (!a.Ok) {
      // The records stay where they are; the next configuration read tries again.
      status_.ShowAndLog(a.Error, -1);
      return;
    }
    if (Events.OnArchived && !a.RdcPath.empty()) Events.OnArchived(a.RdcPath);
    DisposeBackupFiles(BackupDir(), moveBackupFiles_, now);
  } else {
    DisposeBackupFiles(BackupDir(), false, now);
  }
  if (cfg_.DeviceCount != 0) {
    std::error_code ec;
    fs::remove(data, ec);
    fs::remove(TFRXDatabase::IndexPathFor(data), ec);
    if (!WriteDeviceConfig(paths_.OnlineRdc(), cfg_, err)) Message(Msg::ErrorOnSaveDevConfigWith, -1, {err});
  }
  for (int k = 1; k <= kDeviceBoxes; ++k) {
    std::error_code ec;
    fs::remove(paths_.DevSetFile(k), ec);
  }
  // The field texts belong to the old layout.
  AllFields(std::string());
  configured_ = false;
  sampleStored_ = false;
  newSegment_ = true;
  Fire(Events.OnValues);
}

std::string TAcquisition::BackupDir() const {
  base::TMemIniFile ini(paths_.SettingsFile());
  std::string file = ini.ReadString("DB_Manager", "BackupFileName", "");
  if (file.empty()) return paths_.BackupDir();
  std::string dir = base::ExtractFileDir(file);
  return dir.empty() ? paths_.BackupDir() : dir;
}

// ---------------------------------------------------------------- commands

void TAcquisition::ApplyLinkSettings(const std::string& port, int baud, int loggerAddress, bool moveBackupFiles) {
  if (!comm_) return;
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  address_ = std::clamp(loggerAddress, 1, 255);
  moveBackupFiles_ = moveBackupFiles;
  comm::TCommOptions o = comm_->CommOptions();
  if (comm::NormalisePortName(port) != o.CommPort || baud != o.BaudRate) {
    comm_->CloseLink();
    o.CommPort = port;
    o.BaudRate = baud;
    comm_->SetCommOptions(o);
    SetupRequests();
    OpenLink(false);
  }
  comm_->SaveCommSettings();
  // A request table emptied by the close is set up again before the next read.
  if (comm_->CommRequest().size() != 3) SetupRequests();
  tConfig_->SetEnabled(true);
  tValues_->SetEnabled(true);
}

void TAcquisition::CloseDatabase() {
  tConfig_->SetEnabled(false);
  tValues_->SetEnabled(false);
  db_.Close();
}

void TAcquisition::AfterRestore() {
  configured_ = false;
  sampleStored_ = false;
  newSegment_ = true;
  t_RdConfigTimer();
}

// ---------------------------------------------------------------- names

std::string TAcquisition::StatusPanel(int i) const {
  if (!haveBlock_) return "";
  switch (i) {
    case 1: return DeviceNameText(fields_.DevName);
    case 2: return std::to_string(fields_.RdTime) + " " + lang_.Text(Msg::Seconds);
    case 3: return std::to_string(fields_.WrTime) + " " + lang_.Text(Msg::Minits);
    case 4: return std::to_string(fields_.SegmentSetCnt);
    default: return "";
  }
}

std::string TAcquisition::ChannelName(int device, int channel) const {
  return kv90::ChannelName(cfg_, device, channel);
}

std::string TAcquisition::DeviceCaption(int device) const { return kv90::DeviceCaption(cfg_, device); }

}  // namespace kv90::app
