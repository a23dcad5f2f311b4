// The acquisition cycle against the simulated logger on a pseudo-terminal,
// with the real request engine, record database and Qt timers.
#include <gtest/gtest.h>

#include "monitor/storage/device_config_file.h"
#include "monitor/storage/frx_database.h"
#include "monitor/ui/acquisition.h"
#include "monitor/ui/archive.h"
#include "monitor/ui/settings.h"
#include "platform/base/datetime.h"
#include "tests/sim_fixture.h"

using namespace kv90;
using namespace kv90::app;
using namespace kv90test;

namespace {

std::string Today() {
  auto d = base::DecodeDate(base::Now());
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

class Acquisition : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApp(); }

  void StartAll(kv90sim::SimConfig cfg = FastLogger()) {
    sim = std::make_unique<kv90sim::SimServer>(cfg, folder.link);
    StartMonitor();
  }
  void StartMonitor() {
    lang.LoadFile(folder.root.string() + "/Lang/English.lng");
    status = std::make_unique<TStatusLog>(lang, comm::MakeQtTimer);
    status->SetLogFile(folder.Paths().LogFile());
    acq = std::make_unique<TAcquisition>(folder.Paths(), lang, *status);
    acq->Start();
  }
  bool WaitRecords(long n, int ms = 8000) {
    return WaitFor([&] { return acq->StoredRecords() >= n; }, ms);
  }
  TFileDataArray ReadAll(const std::string& path) {
    TFRXDatabase db;
    EXPECT_EQ(db.Open(path, -1, false), 0) << path;
    TFileDataArray out;
    if (db.SearchCount() == 0) return out;
    TBooleanArray sel(static_cast<std::size_t>(db.DatabaseDataValuesCount()), true);
    TFileDataRange range;
    db.ReadRange(0, static_cast<std::int32_t>(db.RecordCount() - 1), sel, range);
    for (const auto& r : range) out.push_back(r.ToFileData());
    return out;
  }
  void TearDown() override {
    acq.reset();
    sim.reset();
  }

  MonitorFolder folder;
  TLanguage lang;
  std::unique_ptr<TStatusLog> status;
  std::unique_ptr<kv90sim::SimServer> sim;
  std::unique_ptr<TAcquisition> acq;
};

}  // namespace

TEST_F(Acquisition, StartWithoutConfigurationThenCycleAtTheLoggersPeriods) {
  StartAll();
  // No Data/data.rdc yet: both timers at 10 s until a good block arrives.
  EXPECT_EQ(acq->ConfigTimer().Interval(), 10000);
  EXPECT_EQ(acq->ValuesTimer().Interval(), 10000);
  EXPECT_EQ(acq->ShownDevices(), 0);

  ASSERT_TRUE(WaitRecords(1)) << status->Text();
  EXPECT_TRUE(acq->Configured());
  EXPECT_EQ(acq->ValuesTimer().Interval(), 1000);   // RdTime 1 s
  EXPECT_EQ(acq->ConfigTimer().Interval(), 60000);  // WrTime 1 min
  EXPECT_EQ(acq->ShownDevices(), 5);
  EXPECT_EQ(acq->StoredChannels(), 13);
  EXPECT_EQ(acq->StatusPanel(2), "1 s");
  EXPECT_EQ(acq->StatusPanel(3), "1 min");

  LoggerConfig rdc;
  std::string err;
  ASSERT_TRUE(ReadDeviceConfig(folder.Paths().OnlineRdc(), rdc, err)) << err;
  EXPECT_EQ(rdc.DeviceCount, 5);

  // Values keep coming every second but store nothing more ...
  const long valuesBefore = sim->Answered();
  ASSERT_TRUE(WaitFor([&] { return sim->Answered() >= valuesBefore + 2; }, 5000));
  EXPECT_EQ(acq->StoredRecords(), 1);
  for (int i = 0; i < 13; ++i) {
    EXPECT_FALSE(acq->FieldTexts()[static_cast<std::size_t>(i)].empty()) << i;
    EXPECT_NE(acq->FieldTexts()[static_cast<std::size_t>(i)], kNoValue) << i;
  }
  // ... one record per logging period (the configuration timer's tick).
  acq->t_RdConfigTimer();
  ASSERT_TRUE(WaitRecords(2));

  TFRXDatabase db;
  ASSERT_EQ(db.Open(folder.Paths().OnlineDb(), -1, false), 0);
  EXPECT_EQ(db.DatabaseDataValuesCount(), 13);
  EXPECT_EQ(db.RecordCount(), 2);
  ASSERT_EQ(db.SearchCount(), 1);  // the second record continues the segment
  EXPECT_DOUBLE_EQ(db.SearchData()[0].Interval, 60.0);
  const auto all = ReadAll(folder.Paths().OnlineDb());
  for (double v : all.back().Values) EXPECT_GT(v, -22000.0);

  EXPECT_NE(folder.Text("Settings/Log.txt").find(lang.Text(Msg::CommWasOpen)), std::string::npos);
}

TEST_F(Acquisition, ThreeFailedRepliesThenRecovery) {
  StartAll();
  ASSERT_TRUE(WaitRecords(1));
  sim->InjectFault(kv90sim::Fault::Silence, -1);
  ASSERT_TRUE(WaitFor([&] { return acq->FailCount() == 3; }, 20000));
  EXPECT_FALSE(acq->LoggerDetected());
  EXPECT_EQ(status->Text(), lang.Text(Msg::DlogWasNotDetect));
  for (int i = 0; i < kValueFields; ++i) EXPECT_EQ(acq->FieldTexts()[static_cast<std::size_t>(i)], kNoValue);

  // A logging period while the logger is silent stores the long-failure code.
  acq->t_RdConfigTimer();
  ASSERT_TRUE(WaitRecords(2, 10000));
  const auto all = ReadAll(folder.Paths().OnlineDb());
  for (double v : all.back().Values) EXPECT_EQ(v, kCodeLongFailure);

  sim->ClearFaults();
  ASSERT_TRUE(WaitFor([&] { return acq->FailCount() == 0 && acq->FieldTexts()[0] != kNoValue; }, 10000));
  EXPECT_TRUE(acq->LoggerDetected());
  EXPECT_EQ(status->Text(), lang.Text(Msg::DLogWasDetect));
  const std::string log = folder.Text("Settings/Log.txt");
  EXPECT_NE(log.find(lang.Text(Msg::DlogWasNotDetect)), std::string::npos);
  EXPECT_NE(log.find(lang.Text(Msg::DLogWasDetect)), std::string::npos);
}

TEST_F(Acquisition, ReconfigurationArchivesTheDatabaseUnderTheNextFreeNumber) {
  // An archive of today already exists: the new one takes number 001.
  const fs::path day = folder.root / "Data" / Today();
  fs::create_directories(day);
  std::ofstream(day / (Today() + "_000.dat")) << "older";
  fs::create_directories(folder.root / "DBBackup");
  std::ofstream(folder.root / "DBBackup/backup_x.bak") << "b";
  std::ofstream(folder.root / "DBBackup/backup_x.log") << "l";
  std::ofstream(folder.root / "Settings/Dev_1.set") << "g";

  StartAll();
  ASSERT_TRUE(WaitRecords(1));
  const auto before = ReadAll(folder.Paths().OnlineDb());
  sim->Reconfigure();  // the last device goes away
  ASSERT_TRUE(WaitFor([&] { return acq->Config().DeviceCount == 4 && acq->StoredRecords() >= 2; }, 15000))
      << status->Text();

  const fs::path archived = day / (Today() + "_001.dat");
  ASSERT_TRUE(fs::exists(archived));
  EXPECT_TRUE(fs::exists(day / (Today() + "_001.sch")));
  EXPECT_TRUE(fs::exists(day / (Today() + "_001.rdc")));
  EXPECT_EQ(folder.Text(fs::path("Data") / Today() / (Today() + "_000.dat")), "older");
  EXPECT_EQ(ReadAll(archived.string()), before);  // not one record lost

  LoggerConfig oldCfg, newCfg;
  std::string err;
  ASSERT_TRUE(ReadDeviceConfig((day / (Today() + "_001.rdc")).string(), oldCfg, err));
  ASSERT_TRUE(ReadDeviceConfig(folder.Paths().OnlineRdc(), newCfg, err));
  EXPECT_EQ(oldCfg.DeviceCount, 5);
  EXPECT_EQ(newCfg.DeviceCount, 4);
  const auto now = ReadAll(folder.Paths().OnlineDb());
  ASSERT_FALSE(now.empty());
  EXPECT_EQ(now[0].Values.size(), 12u);
  // MoveBackupFiles is off: the backups of the old layout are gone, and so
  // are the graph settings of the devices.
  EXPECT_FALSE(fs::exists(folder.root / "DBBackup/backup_x.bak"));
  EXPECT_FALSE(fs::exists(folder.root / "DBBackup/backup_x.log"));
  EXPECT_FALSE(fs::exists(folder.root / "Settings/Dev_1.set"));
}

TEST_F(Acquisition, FailedArchiveKeepsTheRecordsAndIsTriedAgain) {
  StartAll();
  ASSERT_TRUE(WaitRecords(1));
  const auto before = ReadAll(folder.Paths().OnlineDb());
  // A file where the day's archive folder should be: the archive cannot be made.
  std::ofstream(folder.root / "Data" / Today()) << "in the way";
  sim->Reconfigure();
  ASSERT_TRUE(WaitFor([&] { return acq->Config().DeviceCount == 4; }, 15000));
  ASSERT_TRUE(WaitFor([&] { return acq->FieldTexts()[0] != "" && acq->FieldTexts()[0] != kNoValue; }, 5000));
  EXPECT_EQ(ReadAll(folder.Paths().OnlineDb()), before);
  EXPECT_FALSE(status->Text().empty());

  fs::remove(folder.root / "Data" / Today());
  acq->t_RdConfigTimer();
  ASSERT_TRUE(WaitFor([&] { return fs::exists(folder.root / "Data" / Today() / (Today() + "_000.dat")); }, 8000));
  EXPECT_EQ(ReadAll((folder.root / "Data" / Today() / (Today() + "_000.dat")).string()), before);
}

TEST_F(Acquisition, LoggerDownloadEndsWithItsLines) {
  struct Case { long memoryLines; std::size_t lines; };
  for (const Case c : {Case{0, 0}, Case{5, 5}}) {
    SCOPED_TRACE(c.memoryLines);
    MonitorFolder f;
    folder.link = f.link;
    folder.root = f.root;
    sim = std::make_unique<kv90sim::SimServer>(FastLogger(c.memoryLines), f.link);
    StartMonitor();
    ASSERT_TRUE(WaitRecords(1));
    int calls = 0;
    std::size_t got = 99;
    acq->Events.OnLoggerLines = [&](const LoggerConfig& cfg, const std::vector<std::string>& lines) {
      ++calls;
      got = lines.size();
      EXPECT_EQ(cfg.DeviceCount, 5);
    };
    acq->RequestLoggerDownload();
    EXPECT_TRUE(acq->DownloadInProgress());
    EXPECT_EQ(acq->FieldTexts()[0], kNoValue);
    ASSERT_TRUE(WaitFor([&] { return !acq->DownloadInProgress(); }, 15000));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, c.lines);
    if (c.lines > 0) {
      EXPECT_EQ(acq->LoggerLines()[0].size(), static_cast<std::size_t>(acq->GetLineDataByteCnt() + 6));
    }
    // The cycle goes on after the download, starting a new segment.
    ASSERT_TRUE(WaitRecords(2));
    acq.reset();
    sim.reset();
  }
}

TEST_F(Acquisition, PortMissingAtStartIsOpenedOnceItAppears) {
  StartMonitor();  // nothing behind the link yet
  EXPECT_FALSE(acq->Engine().CommOpen());
  EXPECT_EQ(status->Text(), lang.Text(Msg::CommWasNotOpen));
  sim = std::make_unique<kv90sim::SimServer>(FastLogger(), folder.link);
  acq->t_RdConfigTimer();  // the next configuration tick
  EXPECT_TRUE(acq->Engine().CommOpen());
  ASSERT_TRUE(WaitRecords(1));
}

TEST_F(Acquisition, LoggerUnpluggedAndPluggedBack) {
  StartAll();
  ASSERT_TRUE(WaitRecords(1));
  sim.reset();  // the pseudo-terminal goes away
  ASSERT_TRUE(WaitFor([&] { return acq->FailCount() == 3; }, 20000));
  sim = std::make_unique<kv90sim::SimServer>(FastLogger(), folder.link);
  ASSERT_TRUE(WaitFor([&] { return acq->FailCount() == 0 && acq->FieldTexts()[0] != kNoValue; }, 20000))
      << status->Text();
}

TEST(AcquisitionUnits, SampleValues) {
  struct Case { const char* text; int fails; double want; };
  const Case cases[] = {
      {"12.5", 0, 12.5}, {"-3", 0, -3}, {"", 0, -22000.0}, {"----", 2, -22000.0},
      {"----", 3, -22003.0}, {"", 3, -22003.0}, {"x1", 0, -22000.0}, {"-22003", 0, -22003.0},
  };
  for (const auto& c : cases) EXPECT_EQ(SampleValue(c.text, c.fails, '.'), c.want) << c.text << " " << c.fails;
  EXPECT_EQ(SampleValue("12,5", 0, ','), 12.5);
}

TEST(AcquisitionUnits, JunkSettingsGiveDefaults) {
  MonitorFolder f;
  struct Case { const char* ini; int address; int state; int height; int pos; bool splitter; bool move; };
  const Case cases[] = {
      {"", 251, 0, -1, 0, false, false},
      {"[SerialComm]\r\nDloggAddress=7\r\n[View]\r\nWindowSate=2\r\nValuesPanelHeight=300\r\nValuesPanelPos=3\r\n"
       "ShowSplitter=1\r\n[OnLineDB]\r\nMoveBackupFiles=1\r\n", 7, 2, 300, 3, true, true},
      {"[SerialComm]\r\nDloggAddress=abc\r\n[View]\r\nWindowSate=9\r\nValuesPanelHeight=-5\r\nValuesPanelPos=99\r\n"
       "ShowSplitter=maybe\r\n[OnLineDB]\r\nMoveBackupFiles=\xff\r\n", 251, 0, -1, 0, false, false},
      {"[SerialComm]\r\nDloggAddress=0\r\n[View]\r\nValuesPanelHeight=99999999999999999999\r\n", 251, 0, -1, 0, false, false},
      {"[SerialComm]\r\nDloggAddress=256\r\n", 251, 0, -1, 0, false, false},
  };
  for (const auto& c : cases) {
    std::ofstream(f.root / "Settings/Settings.ini", std::ios::binary) << c.ini;
    auto s = TMonitorSettings::Load((f.root / "Settings/Settings.ini").string());
    EXPECT_EQ(s.LoggerAddress, c.address) << c.ini;
    EXPECT_EQ(s.View.WindowState, c.state) << c.ini;
    EXPECT_EQ(s.View.ValuesPanelHeight, c.height) << c.ini;
    EXPECT_EQ(s.View.ValuesPanelPos, c.pos) << c.ini;
    EXPECT_EQ(s.View.ShowSplitter, c.splitter) << c.ini;
    EXPECT_EQ(s.MoveBackupFiles, c.move) << c.ini;
  }
}

TEST(AcquisitionUnits, BackupFilesMovedOrDeleted) {
  MonitorFolder f;
  const fs::path dir = f.root / "DBBackup";
  for (bool move : {true, false}) {
    fs::create_directories(dir);
    for (const char* n : {"a.bak", "a.log", "keep.txt"}) std::ofstream(dir / n) << n;
    const double now = base::EncodeDateTime(2012, 5, 31, 14, 5, 9);
    DisposeBackupFiles(dir.string(), move, now);
    EXPECT_FALSE(fs::exists(dir / "a.bak"));
    EXPECT_FALSE(fs::exists(dir / "a.log"));
    EXPECT_TRUE(fs::exists(dir / "keep.txt"));
    EXPECT_EQ(fs::exists(dir / "20120531140509" / "a.bak"), move);
    EXPECT_EQ(fs::exists(dir / "20120531140509" / "a.log"), move);
    fs::remove_all(dir);
  }
}
