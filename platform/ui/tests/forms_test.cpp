// Forms, modal results, timers, message boxes, file dialogs and a
// screenshot of a small form.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace ui {
namespace {

TEST(Forms, ShowModalReturnsTheButtonsModalResult) {
  TForm f;
  f.SetCaption("Question");
  auto* yes = new TButton(&f);
  yes->SetParent(&f);
  yes->SetModalResult(mrYes);
  std::vector<std::string> log;
  f.OnShow = [&](TComponent* s) { log.push_back(s == &f ? "show" : "?"); };
  f.OnClose = [&](TComponent*, TCloseAction&) { log.push_back("close"); };
  QTimer::singleShot(20, [&] {
    log.push_back(f.Modal() ? "modal" : "not modal");
    QTest::mouseClick(yes->Widget(), Qt::LeftButton);
  });
  EXPECT_EQ(f.ShowModal(), mrYes);
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(f.Modal());
  EXPECT_EQ(log, (std::vector<std::string>{"show", "modal", "close"}));
}

TEST(Forms, CloseQueryCanKeepAModalFormOpen) {
  TForm f;
  int asked = 0;
  f.OnCloseQuery = [&](TComponent*, bool& can) { can = ++asked >= 2; };
  QTimer::singleShot(10, [&] { f.SetModalResult(mrOk); });    // refused
  QTimer::singleShot(40, [&] {
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.ModalResult(), mrNone);
    f.Widget()->close();  // the title bar's close: mrCancel, asked again
  });
  EXPECT_EQ(f.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST(Forms, OnCloseActionDecides) {
  struct Case {
    TCloseAction action;
    bool visibleAfter;
  } cases[] = {{TCloseAction::caHide, false}, {TCloseAction::caNone, true}};
  for (const Case& c : cases) {
    TForm f;
    f.OnClose = [&](TComponent*, TCloseAction& a) { a = c.action; };
    f.Show();
    f.Close();
    EXPECT_EQ(f.Visible(), c.visibleAfter);
  }
  auto* freed = new TForm(nullptr);
  bool destroyed = false;
  freed->OnDestroy = [&](TComponent*) { destroyed = true; };
  freed->OnClose = [](TComponent*, TCloseAction& a) { a = TCloseAction::caFree; };
  freed->Show();
  freed->Close();
  EXPECT_FALSE(destroyed);  // freed once the present event is done
  QTest::qWait(20);
  EXPECT_TRUE(destroyed);
}

TEST(Forms, EnterAndEscapeClickDefaultAndCancelButtons) {
  TForm f;
  auto* edit = new TEdit(&f);
  edit->SetParent(&f);
  auto* ok = new TButton(&f);
  ok->SetParent(&f);
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  auto* cancel = new TButton(&f);
  cancel->SetParent(&f);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  QTimer::singleShot(20, [&] {
    edit->SetFocus();
    QTest::keyClick(edit->Widget(), Qt::Key_Return);
  });
  EXPECT_EQ(f.ShowModal(), mrOk);
  QTimer::singleShot(20, [&] { QTest::keyClick(edit->Widget(), Qt::Key_Escape); });
  EXPECT_EQ(f.ShowModal(), mrCancel);
}

TEST(Forms, ScreenCenterPlacesTheFormInTheMiddle) {
  TForm f;
  f.SetPosition(TPosition::poScreenCenter);
  f.SetBorderStyle(TFormBorderStyle::bsDialog);
  f.SetClientWidth(462);
  f.SetClientHeight(181);
  f.Show();
  QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(f.Left(), screen.x() + (screen.width() - f.Width()) / 2);
  EXPECT_EQ(f.Top(), screen.y() + (screen.height() - f.Height()) / 2);
  EXPECT_EQ(f.ClientWidth(), 462);
}

TEST(Timers, FireOnTheUiThreadWhileEnabled) {
  TForm f;
  auto* t = new TTimer(&f);
  int ticks = 0;
  TComponent* sender = nullptr;
  t->OnTimer = [&](TComponent* s) {
    sender = s;
    ++ticks;
    EXPECT_EQ(QThread::currentThread(), qApp->thread());
  };
  t->SetInterval(10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
  EXPECT_EQ(sender, t);
  t->SetEnabled(false);
  int stopped = ticks;
  QTest::qWait(50);
  EXPECT_EQ(ticks, stopped);
  t->SetInterval(0);
  t->SetEnabled(true);  // interval 0: still silent
  QTest::qWait(30);
  EXPECT_EQ(ticks, stopped);
  // A timer that stops itself in its handler fires once.
  auto* once = new TTimer(&f);
  int fired = 0;
  once->SetInterval(5);
  once->OnTimer = [&](TComponent* s) {
    ++fired;
    static_cast<TTimer*>(s)->SetEnabled(false);
  };
  QTest::qWait(60);
  EXPECT_EQ(fired, 1);
  delete t;  // freed while its owner lives: no tick afterwards
  ProcessMessages();
}

TEST(Timers, ProcessMessagesRunsPendingEvents) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  ProcessMessages();
  EXPECT_TRUE(ran);
}

TEST(Dialogs, MessageHookAnswersWithoutAWindow) {
  std::vector<TMessageRequest> asked;
  SetMessageHook([&](const TMessageRequest& r) {
    asked.push_back(r);
    return r.Buttons & mbNo ? mrNo : mrOk;
  });
  EXPECT_EQ(MessageBox("Aplikace \"Kv90Sw\" je již spuštěna", "Upozornění", MB_OK | MB_ICONWARNING), IDOK);
  EXPECT_EQ(MessageBox("Cancel setup?", "Corvane", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageDlg("Delete?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNo);
  SetMessageHook(nullptr);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].Caption, "Upozornění");
  EXPECT_EQ(asked[0].Type, TMsgDlgType::mtWarning);
  EXPECT_EQ(asked[0].Buttons, static_cast<unsigned>(mbOK));
  EXPECT_EQ(asked[1].Buttons, static_cast<unsigned>(mbYes | mbNo));
  EXPECT_EQ(asked[1].DefaultResult, mrNo);
  EXPECT_EQ(asked[2].Type, TMsgDlgType::mtConfirmation);
}

TEST(Dialogs, RealMessageBoxAnswersItsButton) {
  QTimer::singleShot(50, [] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(MessageBox("Continue?", "Test", MB_YESNO), IDNO);
}

TEST(Dialogs, FileDialogHookAndDefaultExtension) {
  TForm f;
  TSaveDialog d(&f);
  d.Filter = "CSV files (*.csv)|*.csv|All files|*.*";
  d.DefaultExt = "csv";
  d.InitialDir = "/tmp";
  TFileDialogRequest seen;
  SetFileDialogHook([&](const TFileDialogRequest& r, std::vector<std::string>& chosen) {
    seen = r;
    chosen.push_back("/tmp/export");
    return true;
  });
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.FileName, "/tmp/export.csv");
  EXPECT_EQ(seen.Kind, TFileDialogKind::Save);
  EXPECT_EQ(seen.InitialDir, "/tmp");
  SetFileDialogHook([](const TFileDialogRequest&, std::vector<std::string>&) { return false; });
  d.FileName = "kept";
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.FileName, "kept");
  std::string folder;
  SetFileDialogHook([](const TFileDialogRequest& r, std::vector<std::string>& chosen) {
    if (r.Kind != TFileDialogKind::Folder) return false;
    chosen.push_back("/opt/product");
    return true;
  });
  EXPECT_TRUE(SelectDirectory("Choose", "", folder));
  EXPECT_EQ(folder, "/opt/product");
  SetFileDialogHook(nullptr);
  EXPECT_EQ(FilterToQt("Text|*.txt;*.log|All|*.*"), "Text (*.txt *.log);;All (*.*)");
  EXPECT_EQ(WithDefaultExt("/a.b/c", "txt"), "/a.b/c.txt");
  EXPECT_EQ(WithDefaultExt("/a/c.dat", "txt"), "/a/c.dat");
}

// Builds a small settings form and keeps its picture for a person to look at.
TEST(Screenshot, SmallSettingsForm) {
  TForm f;
  f.SetCaption("Settings");
  f.SetBorderStyle(TFormBorderStyle::bsDialog);
  f.SetClientWidth(360);
  f.SetClientHeight(240);
  auto* pc = new TPageControl(&f);
  pc->SetParent(&f);
  pc->SetAlign(TAlign::alClient);
  auto* ts = new TTabSheet(&f);
  ts->SetPageControl(pc);
  ts->SetCaption("Communication");
  auto* ts2 = new TTabSheet(&f);
  ts2->SetPageControl(pc);
  ts2->SetCaption("Database");
  auto* gb = new TGroupBox(&f);
  gb->SetParent(ts);
  gb->SetBounds(8, 8, 200, 110);
  gb->SetCaption("Serial port");
  auto* lbl = new TLabel(&f);
  lbl->SetParent(gb);
  lbl->SetBounds(10, 24, 60, 13);
  lbl->SetCaption("&Port:");
  auto* port = new TComboBox(&f);
  port->SetParent(gb);
  port->SetBounds(80, 20, 100, 21);
  port->SetStyle(TComboBoxStyle::csDropDownList);
  port->Items().Add("COM1");
  port->SetItemIndex(0);
  auto* addr = new TEdit(&f);
  addr->SetParent(gb);
  addr->SetBounds(80, 50, 100, 21);
  addr->SetText("251");
  auto* keep = new TCheckBox(&f);
  keep->SetParent(gb);
  keep->SetBounds(10, 82, 180, 17);
  keep->SetCaption("Keep backups");
  keep->SetChecked(true);
  auto* lang = new TRadioGroup(&f);
  lang->SetParent(ts);
  lang->SetBounds(216, 8, 128, 110);
  lang->SetCaption("Language");
  lang->Items().Add("Czech");
  lang->Items().Add("English");
  lang->SetItemIndex(0);
  auto* ok = new TButton(&f);
  ok->SetParent(ts);
  ok->SetBounds(268, 130, 75, 25);
  ok->SetCaption("OK");
  auto* box = new TPanel(&f);
  box->SetParent(ts);
  box->SetBounds(8, 126, 90, 33);
  box->SetCaption("21.5");
  box->SetBevelOuter(TBevelCut::bvLowered);
  box->SetColor(static_cast<TColor>(0x00C0FFC0));
  auto* sb = new TStatusBar(&f);
  sb->SetParent(&f);
  for (int w : {150, 60, 0}) sb->AddPanel(w);
  sb->SetPanelText(0, "Link open");
  sb->SetPanelText(1, "5 s");
  auto* gauge = new TProgressBar(&f);
  gauge->SetParent(sb);
  TRect r = sb->PanelRect(2);
  gauge->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  gauge->SetBarColor(clBlue);
  gauge->SetBackgroundColor(clWhite);
  gauge->SetPosition(60);
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f.Widget()));
  QImage img = f.Widget()->grab().toImage();
  ASSERT_EQ(img.size(), QSize(360, 240));
  QDir().mkpath(UI_TEST_OUTPUT_DIR);
  ASSERT_TRUE(img.save(QString(UI_TEST_OUTPUT_DIR) + "/settings_form.png"));
  // The light green value box and the blue bar are where they were put.
  QPoint boxInForm = box->Widget()->mapTo(f.Widget(), QPoint(45, 8));
  EXPECT_EQ(img.pixelColor(boxInForm), QColor(0xC0, 0xFF, 0xC0));
  QPoint barInForm = gauge->Widget()->mapTo(f.Widget(), QPoint(3, r.Height() / 2));
  EXPECT_EQ(img.pixelColor(barInForm), QColor(0, 0, 0xFF));
}

}  // namespace
}  // namespace ui
