// The main window offscreen, against the simulated logger: what a user sees
// on the on-line and settings pages, the language switch, bad start-up
// files, and the single running instance of the real program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <fstream>

#include "monitor/storage/frx_database.h"
#include "monitor/ui/main_form.h"
#include "platform/ui/dialogs.h"
#include "tests/sim_fixture.h"

using namespace kv90;
using namespace kv90::app;
using namespace kv90test;

namespace {

QApplication* EnsureGuiApp() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "kv90formtest";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  return qobject_cast<QApplication*>(QCoreApplication::instance());
}

void Screenshot(ui::TForm& form, const std::string& name) {
#ifdef KV90_SCREENSHOT_DIR
  fs::create_directories(KV90_SCREENSHOT_DIR);
  form.Widget()->grab().save(QString::fromStdString(std::string(KV90_SCREENSHOT_DIR) + "/" + name));
#else
  (void)form;
  (void)name;
#endif
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { EnsureGuiApp(); }
  void TearDown() override {
    if (form) {
      form->Close();
      delete form;
      form = nullptr;
    }
    sim.reset();
  }
  void Open(bool withSim = true) {
    if (withSim) sim = std::make_unique<kv90sim::SimServer>(FastLogger(), folder.link);
    form = new TMainForm(folder.Paths());
    form->DoCreate();
    form->Show();
  }
  bool WaitLive(int ms = 10000) {
    return WaitFor([&] { return form->Acquisition().StoredRecords() >= 1 && !form->ed_Value[0]->GetText().empty(); }, ms);
  }

  MonitorFolder folder;
  std::unique_ptr<kv90sim::SimServer> sim;
  TMainForm* form = nullptr;
};

}  // namespace

TEST_F(MainWindow, OnLinePageShowsLiveValuesOfEveryDevice) {
  Open();
  EXPECT_EQ(form->Caption(), kAppCaption);
  ASSERT_TRUE(WaitLive()) << form->sb_Status->PanelText(0);
  WaitFor([] { return false; }, 300);  // let the window paint

  int boxes = 0;
  for (auto* b : form->gb_Dev) boxes += b->Visible() ? 1 : 0;
  EXPECT_EQ(boxes, 5);
  int fields = 0;
  for (auto* e : form->ed_Value) fields += e->Visible() ? 1 : 0;
  EXPECT_EQ(fields, 13);
  EXPECT_EQ(form->l_Value[0]->Caption(), "C1");           // Kv16, channel 1
  EXPECT_EQ(form->l_Value[7]->Caption(), "A-L1");         // EM24 from register 12
  EXPECT_EQ(form->l_DevCaption[0]->Caption(), "Kv16_addr1");
  EXPECT_EQ(form->gb_Dev[0]->Color(), 0x90EE90);          // the selected device
  EXPECT_FALSE(form->bbtn_ValuesLeft->Visible());
  EXPECT_EQ(form->sb_Status->PanelText(1), "KV90");
  EXPECT_EQ(form->sb_Status->PanelText(2), "1 s");
  EXPECT_FALSE(form->btn_ExportData->Visible());
  EXPECT_EQ(form->PageControl1->PageCount(), 3);  // no history page yet

  // Selecting another device marks its box.
  form->btn_Gr[2]->Click();
  EXPECT_EQ(form->SelectedDevice(), 2);
  EXPECT_EQ(form->gb_Dev[2]->Color(), 0x90EE90);
  EXPECT_NE(form->gb_Dev[0]->Color(), 0x90EE90);
  Screenshot(*form, "monitor-online.png");
}

TEST_F(MainWindow, SilentLoggerShowsDashesThenLiveValuesAgain) {
  Open();
  ASSERT_TRUE(WaitLive());
  sim->InjectFault(kv90sim::Fault::Silence, -1);
  ASSERT_TRUE(WaitFor([&] { return form->Acquisition().FailCount() == 3; }, 20000));
  WaitFor([] { return false; }, 100);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(form->ed_Value[static_cast<std::size_t>(i)]->GetText(), "----") << i;
  EXPECT_EQ(form->sb_Status->PanelText(0), "The logger was not detected");
  sim->ClearFaults();
  ASSERT_TRUE(WaitFor([&] { return form->ed_Value[0]->GetText() != "----"; }, 10000));
  EXPECT_EQ(form->sb_Status->PanelText(0), "The logger was detected");
}

TEST_F(MainWindow, ReconfiguredLoggerRelaysTheValuesPanel) {
  Open();
  ASSERT_TRUE(WaitLive());
  sim->Reconfigure();
  ASSERT_TRUE(WaitFor([&] { return form->Acquisition().Config().DeviceCount == 4 && form->Acquisition().SampleStored(); },
                      15000));
  WaitFor([] { return false; }, 100);
  int boxes = 0, fields = 0;
  for (auto* b : form->gb_Dev) boxes += b->Visible() ? 1 : 0;
  for (auto* e : form->ed_Value) fields += e->Visible() ? 1 : 0;
  EXPECT_EQ(boxes, 4);
  EXPECT_EQ(fields, 12);
  EXPECT_FALSE(form->ed_Value[0]->GetText().empty());
}

TEST_F(MainWindow, NarrowWindowHidesBoxesBehindTheArrows) {
  Open();
  ASSERT_TRUE(WaitLive());
  form->SetClientWidth(420);
  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(form->bbtn_ValuesRight->Visible());
  EXPECT_FALSE(form->gb_Dev[4]->Visible());
  form->bbtn_ValuesRight->Click();
  EXPECT_EQ(form->FirstShownDevice(), 1);
  EXPECT_TRUE(form->bbtn_ValuesLeft->Visible());
  EXPECT_FALSE(form->gb_Dev[0]->Visible());
  form->bbtn_ValuesLeft->Click();
  EXPECT_EQ(form->FirstShownDevice(), 0);
}

TEST_F(MainWindow, LanguageSwitchChangesEveryCaptionAtOnce) {
  folder.WriteSettings("", "Czech.lng");
  Open();
  ASSERT_TRUE(WaitLive());
  EXPECT_EQ(form->ts_Nastaveni->Caption(), "Nastavení");
  EXPECT_EQ(form->btn_Gr[0]->Caption(), "Graf");
  form->PageControl1->SetActivePage(form->ts_Nastaveni);
  ASSERT_EQ(form->cb_Lang->Items().Count(), 2);
  EXPECT_EQ(form->cb_Lang->Items()[form->cb_Lang->ItemIndex()], "Czech.lng");
  EXPECT_EQ(form->cb_CommPort->ItemIndex(), 0);
  EXPECT_EQ(form->cb_CommPort->Items()[0], "COM1 (" + folder.link + ")");  // where PortMap sends it
  EXPECT_EQ(form->se_CommAddr->Value(), 251);

  form->cb_Lang->SetItemIndex(form->cb_Lang->Items().IndexOf("English.lng"));
  form->bt_AcceptSettings->Click();

  struct Case { ui::TControl* control; const char* english; };
  const Case cases[] = {
      {form->ts_OnLineView, "On-line view"}, {form->ts_DBManager, "Database"}, {form->ts_Nastaveni, "Settings"},
      {form->gb_CommSettings, "Communication"}, {form->l_CommPort, "Serial port"},
      {form->chb_MoveDBBackupFiles, "Keep the database backups when the logger is reconfigured"},
      {form->bt_AcceptSettings, "Accept settings"}, {form->gb_Backup, "Database backup"},
      {form->btn_Restore, "Restore from backup"}, {form->bt_Export, "Export"}, {form->btn_Gr[15], "Graph"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.control->Caption(), c.english) << c.control->Name();
  EXPECT_EQ(form->rg_BackupInterval->Items()[5], "Custom");
  EXPECT_EQ(form->Language().Text(Msg::CommWasOpen), "The serial port was opened");
  EXPECT_EQ(form->sb_Status->PanelText(2), "1 s");
  EXPECT_NE(folder.Text("Settings/Settings.ini").find("Lang=English.lng"), std::string::npos);
  // The link kept running through the accept.
  const long before = form->Acquisition().Engine().CommOpen() ? sim->Answered() : -1;
  ASSERT_TRUE(WaitFor([&] { return sim->Answered() > before + 1; }, 5000));
  WaitFor([] { return false; }, 200);
  Screenshot(*form, "monitor-settings.png");
  form->PageControl1->SetActivePage(form->ts_DBManager);
  WaitFor([] { return false; }, 200);
  Screenshot(*form, "monitor-database.png");
}

TEST_F(MainWindow, ChangingThePortReopensTheLinkWithItsRequests) {
  const std::string link2 = (folder.root / "kv90-2.link").string();
  folder.WriteSettings("COM2=" + link2 + "\r\n");  // inside [PortMap]
  kv90sim::SimServer second(FastLogger(), link2);
  Open();
  ASSERT_TRUE(WaitLive());
  form->PageControl1->SelectPageByUser(form->ts_Nastaveni->PageIndex());
  form->cb_CommPort->SetItemIndex(1);
  form->cb_BaudRate->SetItemIndex(form->cb_BaudRate->Items().IndexOf("19200"));
  form->bt_AcceptSettings->Click();
  EXPECT_EQ(form->Acquisition().Engine().CommOptions().CommPort, "//./COM2");
  EXPECT_EQ(form->Acquisition().Engine().CommOptions().BaudRate, 19200);
  EXPECT_TRUE(form->Acquisition().Engine().CommOpen());
  const long first = sim->Answered(), other = second.Answered();
  ASSERT_TRUE(WaitFor([&] { return second.Answered() >= other + 2; }, 8000));
  EXPECT_LE(sim->Answered(), first + 1);  // at most a reply already under way
  const std::string ini = folder.Text("Settings/Settings.ini");
  EXPECT_NE(ini.find("CommPort=//./COM2"), std::string::npos);
  EXPECT_NE(ini.find("BaudRate=19200"), std::string::npos);
}

TEST_F(MainWindow, LanguageFileWithoutMessagesEmptiesOnlyTheMessages) {
  std::ofstream(folder.root / "Lang/Partial.lng", std::ios::binary) << "[ts_Settings]\r\nCaption=Réglages\r\n";
  Open();
  ASSERT_TRUE(WaitLive());
  form->PageControl1->SelectPageByUser(form->ts_Nastaveni->PageIndex());
  ASSERT_EQ(form->cb_Lang->Items().Count(), 3);
  form->cb_Lang->SetItemIndex(form->cb_Lang->Items().IndexOf("Partial.lng"));
  form->bt_AcceptSettings->Click();
  EXPECT_EQ(form->ts_Nastaveni->Caption(), "Réglages");
  EXPECT_EQ(form->ts_DBManager->Caption(), "Database");  // no key: the caption stays
  for (int i = 0; i < kMsgCount; ++i) EXPECT_EQ(form->Language().Text(static_cast<Msg>(i)), "") << MsgKey(static_cast<Msg>(i));
  // Acquisition goes on; its messages are simply empty.
  const long n = sim->Answered();
  ASSERT_TRUE(WaitFor([&] { return sim->Answered() >= n + 2; }, 5000));
}

TEST_F(MainWindow, MissingLanguageFileAndJunkSettingsStillStart) {
  folder.WriteSettings(
      "[View]\r\nWindowSate=banana\r\nValuesPanelHeight=-9\r\nValuesPanelPos=77\r\n"
      "[SerialComm]\r\nDloggAddress=999\r\n[OnLineDB]\r\nMoveBackupFiles=perhaps\r\n",
      "Nowhere.lng");
  Open();
  ASSERT_TRUE(WaitLive());
  // Built-in captions stay, messages are empty, nothing is shown for it.
  EXPECT_EQ(form->ts_DBManager->Caption(), "Správa databáze");
  EXPECT_EQ(form->Language().Text(Msg::CommWasOpen), "");
  EXPECT_EQ(form->Acquisition().LoggerAddress(), 251);
  EXPECT_EQ(form->FirstShownDevice(), 0);
}

TEST_F(MainWindow, ClosingLogsAndStopsTheLink) {
  Open();
  ASSERT_TRUE(WaitLive());
  form->Close();
  delete form;
  form = nullptr;
  const std::string log = folder.Text("Settings/Log.txt");
  EXPECT_NE(log.find("The application was started"), std::string::npos);
  EXPECT_NE(log.find("The application was closed"), std::string::npos);
  const long answered = sim->Answered();
  WaitFor([] { return false; }, 1500);
  EXPECT_EQ(sim->Answered(), answered);  // nobody asks the logger any more
}

TEST_F(MainWindow, BackupThenRestoreThroughTheDatabasePage) {
  Open();
  ASSERT_TRUE(WaitLive());
  ASSERT_NE(form->DBManager(), nullptr);
  form->PageControl1->SelectPageByUser(form->ts_DBManager->PageIndex());
  EXPECT_EQ(form->ed_BackupFileName->GetText(), folder.root.string() + "/DBBackup/backup.bak");
  EXPECT_EQ(form->rg_BackupInterval->ItemIndex(), 0);
  EXPECT_FALSE(form->btn_Restore->Enabled());

  form->btn_Backup->Click();
  EXPECT_EQ(form->Status().Text(), "Database backup finished");
  ASSERT_EQ(form->lb_BackupList->Items().Count(), 1);

  // More records after the backup ...
  form->Acquisition().t_RdConfigTimer();
  ASSERT_TRUE(WaitFor([&] { return form->Acquisition().StoredRecords() >= 2; }, 8000));

  // ... a "No" to the question changes nothing ...
  std::vector<std::string> asked;
  int answer = ui::mrNo;
  ui::SetMessageHook([&](const ui::TMessageRequest& r) { asked.push_back(r.Caption); return answer; });
  form->lb_BackupList->SetItemIndex(0);
  form->lb_BackupList->OnClick(form->lb_BackupList);
  ASSERT_TRUE(form->btn_Restore->Enabled());
  form->btn_Restore->Click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Varování");
  ASSERT_TRUE(WaitFor([&] { return form->Acquisition().Database().DatabaseOpen(); }, 8000));
  TFRXDatabase db;
  db.Open(folder.Paths().OnlineDb(), -1, false);
  EXPECT_GE(db.RecordCount(), 2);

  // ... and "Yes" brings back the one record of the backup, after which
  // acquisition goes on in the restored database.
  answer = ui::mrYes;
  form->lb_BackupList->SetItemIndex(0);
  form->btn_Restore->Click();
  ui::SetMessageHook({});
  TFRXDatabase restored;
  restored.Open(folder.Paths().OnlineDb(), -1, false);
  EXPECT_EQ(restored.RecordCount(), 1);
  ASSERT_TRUE(WaitFor([&] { return form->Acquisition().Configured() && form->Acquisition().SampleStored(); }, 8000));
  TFRXDatabase after;
  after.Open(folder.Paths().OnlineDb(), -1, false);
  EXPECT_EQ(after.DatabaseDataValuesCount(), 13);
}

// ---------------------------------------------------------------- the program

namespace {

struct Program {
  pid_t pid = -1;
  int errFd = -1;
  Program(const std::string& home, const std::string& errFile) {
    pid = ::fork();
    if (pid == 0) {
      ::setenv("KV90SW_HOME", home.c_str(), 1);
      ::setenv("KV90SW_NO_DIALOGS", "1", 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      std::freopen(errFile.c_str(), "w", stderr);
      const std::string bin = BinDir() + "/Kv90Sw";
      ::execl(bin.c_str(), bin.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  // Exit status, or -1 while still running after `ms`.
  int Wait(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
      int st = 0;
      if (::waitpid(pid, &st, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      }
      ::usleep(10000);
    }
    return -1;
  }
  void Kill(int sig) {
    if (pid > 0) {
      ::kill(pid, sig);
      Wait(5000);
    }
  }
  ~Program() { Kill(SIGKILL); }
};

}  // namespace

TEST(Program, SecondStartIsRefusedUntilTheFirstEnds) {
  MonitorFolder folder;
  auto sim = std::make_unique<kv90sim::SimServer>(FastLogger(), folder.link);
  const std::string home = folder.root.string();
  Program first(home, home + "/first.err");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(folder.root / "Data/data.dat"); }, 10000));
  EXPECT_EQ(first.Wait(100), -1);

  Program second(home, home + "/second.err");
  EXPECT_EQ(second.Wait(10000), 1);
  EXPECT_NE(folder.Text("second.err").find("Aplikace \"Kv90Sw\" je již spuštěna"), std::string::npos);

  // The lock goes with the process, however it ends.
  first.Kill(SIGKILL);
  Program third(home, home + "/third.err");
  EXPECT_EQ(third.Wait(1500), -1);
  // A polite end closes the window the ordinary way.
  ::kill(third.pid, SIGTERM);
  EXPECT_EQ(third.Wait(10000), 0);
  EXPECT_NE(folder.Text("Settings/Log.txt").find("The application was closed"), std::string::npos);
}
