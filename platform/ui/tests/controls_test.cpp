// Controls on real widgets (offscreen), driven with Qt's test helpers:
// geometry, ownership, events with their sender, layout, page control,
// status bar and splitter.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace ui {
namespace {

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetClientWidth(400);
    form->SetClientHeight(300);
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Widget()));
  }
  void TearDown() override { delete form; }
  TForm* form = nullptr;
};

TEST_F(Controls, GeometryIsExactPixelsOfTheWidget) {
  auto* b = new TButton(form);
  b->SetParent(form);
  b->SetBounds(13, 27, 91, 23);
  EXPECT_EQ(b->Widget()->geometry(), QRect(13, 27, 91, 23));
  b->SetLeft(5);
  b->SetHeight(40);
  EXPECT_EQ(b->Widget()->geometry(), QRect(5, 27, 91, 40));
  EXPECT_EQ(form->ClientWidth(), form->Widget()->width());
  EXPECT_EQ(form->Width(), form->ClientWidth() + 8);  // sizeable frame
  form->SetBorderStyle(TFormBorderStyle::bsDialog);
  EXPECT_EQ(form->ClientWidth(), 400);  // the client area stays
  EXPECT_EQ(form->Width(), 406);
}

TEST_F(Controls, VisibleIsTheControlsOwnFlag) {
  auto* p = new TPanel(form);
  auto* e = new TEdit(form);
  e->SetParent(p);  // before the panel has a parent
  EXPECT_TRUE(e->Visible());
  p->Hide();
  p->SetParent(form);
  EXPECT_TRUE(e->Visible());
  EXPECT_FALSE(e->Showing());
  p->Show();
  EXPECT_TRUE(e->Showing());
  e->Hide();
  e->SetParent(form);
  EXPECT_FALSE(e->Visible());
  EXPECT_FALSE(e->Widget()->isVisible());
}

TEST_F(Controls, OwnerFreesItsComponentsAndParentFreesItsChildren) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* other = new TComponent(nullptr);
  auto* edit = new TEdit(other);  // owned elsewhere, shown in the panel
  edit->SetParent(panel);
  EXPECT_EQ(other->ComponentCount(), 1);
  delete panel;  // frees the edit too and its owner forgets it
  EXPECT_EQ(other->ComponentCount(), 0);
  EXPECT_EQ(form->ControlCount(), 0);
  auto* b = new TButton(form);
  b->SetParent(form);
  delete b;  // freed by someone else: leaves owner and parent
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(form->ControlCount(), 0);
  delete other;
}

TEST_F(Controls, ButtonClickFiresWithSenderAndSetsModalResult) {
  auto* b = new TButton(form);
  b->SetParent(form);
  b->SetModalResult(mrYes);
  std::vector<TComponent*> senders;
  b->OnClick = [&](TComponent* s) { senders.push_back(s); };
  QTest::mouseClick(b->Widget(), Qt::LeftButton);
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], b);
  EXPECT_EQ(form->ModalResult(), mrYes);
  b->OnClick = nullptr;  // unassigned: a click does nothing
  QTest::mouseClick(b->Widget(), Qt::LeftButton);
  EXPECT_EQ(senders.size(), 1u);
}

TEST_F(Controls, LabelAndPanelClicksStayWithTheirControl) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* label = new TLabel(form);
  label->SetParent(panel);
  label->SetCaption("&Browse");
  int panelClicks = 0, labelClicks = 0;
  panel->OnClick = [&](TComponent*) { ++panelClicks; };
  label->OnClick = [&](TComponent* s) { labelClicks += s == label; };
  QTest::mouseClick(label->Widget(), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(labelClicks, 1);
  EXPECT_EQ(panelClicks, 0);
  QTest::mouseClick(panel->Widget(), Qt::LeftButton, {}, QPoint(150, 30));
  EXPECT_EQ(panelClicks, 1);
  EXPECT_EQ(label->Caption(), "&Browse");  // the accelerator stays in the caption
}

TEST_F(Controls, EditTypingFiresOnChangeAndProgramChangesToo) {
  auto* e = new TEdit(form);
  e->SetParent(form);
  std::vector<std::string> seen;
  e->OnChange = [&](TComponent* s) { seen.push_back(static_cast<TEdit*>(s)->GetText()); };
  e->SetFocus();
  QTest::keyClicks(e->Widget(), "ab");
  EXPECT_EQ(e->GetText(), "ab");
  e->SetText("xyz");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1], "ab");
  EXPECT_EQ(seen[2], "xyz");
  e->SetMaxLength(4);
  QTest::keyClicks(e->Widget(), "12345");
  EXPECT_EQ(e->GetText().size(), 4u);
}

TEST_F(Controls, KeyEventsCarryVirtualKeysAndCanBeSwallowed) {
  auto* e = new TEdit(form);
  e->SetParent(form);
  std::vector<int> keys;
  e->OnKeyDown = [&](TComponent*, int& key, TShiftState) {
    keys.push_back(key);
    if (key == 'X') key = 0;
  };
  e->SetFocus();
  QTest::keyClick(e->Widget(), Qt::Key_A);
  QTest::keyClick(e->Widget(), Qt::Key_X);
  QTest::keyClick(e->Widget(), Qt::Key_Return);
  EXPECT_EQ(keys, (std::vector<int>{'A', 'X', 13}));
  EXPECT_EQ(e->GetText(), "a");
}

TEST_F(Controls, CheckBoxAndRadioButtonsClickOnChange) {
  auto* cb = new TCheckBox(form);
  cb->SetParent(form);
  cb->SetCaption("Keep backups");
  int clicks = 0;
  cb->OnClick = [&](TComponent* s) { clicks += s == cb; };
  QTest::mouseClick(cb->Widget(), Qt::LeftButton, {}, QPoint(6, cb->Height() / 2));
  EXPECT_TRUE(cb->Checked());
  cb->SetChecked(false);  // the program's change clicks too
  cb->SetChecked(false);  // no change, no click
  EXPECT_EQ(clicks, 2);

  auto* r1 = new TRadioButton(form);
  auto* r2 = new TRadioButton(form);
  r1->SetParent(form);
  r2->SetParent(form);
  r2->SetTop(30);
  r1->SetChecked(true);
  r2->SetChecked(true);
  EXPECT_FALSE(r1->Checked());
  r2->SetChecked(false);  // the program may clear the last one
  EXPECT_FALSE(r2->Checked());
}

TEST_F(Controls, RadioGroupItemsIndexAndClick) {
  auto* rg = new TRadioGroup(form);
  rg->SetParent(form);
  rg->SetBounds(10, 10, 200, 100);
  rg->Items().Add("COM1");
  rg->Items().Add("COM2");
  rg->Items().Add("COM3");
  EXPECT_EQ(rg->ItemIndex(), -1);
  int clicks = 0;
  rg->OnClick = [&](TComponent* s) { clicks += s == rg; };
  QTest::mouseClick(rg->ButtonWidget(1), Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_EQ(rg->ItemIndex(), 1);
  rg->SetItemIndex(2);
  EXPECT_EQ(clicks, 2);
  rg->SetItemIndex(7);  // out of range: none
  EXPECT_EQ(rg->ItemIndex(), -1);
  EXPECT_EQ(rg->GetPropText("ItemIndex"), "-1");
  rg->SetColumns(2);
  EXPECT_GT(rg->ButtonWidget(2)->x(), rg->ButtonWidget(0)->x());
}

TEST_F(Controls, ComboBoxDropDownListSelectsByUserAndByText) {
  auto* c = new TComboBox(form);
  c->SetParent(form);
  c->SetStyle(TComboBoxStyle::csDropDownList);
  for (const char* s : {"9600", "19200", "38400"}) c->Items().Add(s);
  EXPECT_EQ(c->ItemIndex(), -1);  // filling a list selects nothing
  int changes = 0, clicks = 0;
  c->OnChange = [&](TComponent* s) { changes += s == c; };
  c->OnClick = [&](TComponent* s) { clicks += s == c; };
  c->SetItemIndex(0);
  EXPECT_EQ(changes + clicks, 0);  // the program's selection fires nothing
  c->SetFocus();
  QTest::keyClick(c->Widget(), Qt::Key_Down);
  EXPECT_EQ(c->ItemIndex(), 1);
  EXPECT_EQ(c->GetText(), "19200");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(clicks, 1);
  c->SetText("38400");
  EXPECT_EQ(c->ItemIndex(), 2);
  c->SetText("4800");
  EXPECT_EQ(c->ItemIndex(), -1);
  c->SetItemIndex(1);
  c->Items().Set(2, "57600");  // changing the list keeps the index
  EXPECT_EQ(c->ItemIndex(), 1);
}

TEST_F(Controls, EditableComboKeepsItsTextWhenFilled) {
  auto* c = new TComboBox(form);
  c->SetParent(form);
  c->SetText("COM7");
  c->Items().Add("COM1");
  EXPECT_EQ(c->GetText(), "COM7");
  EXPECT_EQ(c->ItemIndex(), -1);
}

TEST_F(Controls, ListBoxSelectionAndMultiSelect) {
  auto* l = new TListBox(form);
  l->SetParent(form);
  l->Items().SetText("a\r\nb\r\nc\r\n");
  EXPECT_EQ(l->ItemIndex(), -1);
  int clicks = 0;
  l->OnClick = [&](TComponent*) { ++clicks; };
  auto* w = static_cast<QListWidget*>(l->Widget());
  QTest::mouseClick(w->viewport(), Qt::LeftButton, {}, w->visualItemRect(w->item(2)).center());
  EXPECT_EQ(l->ItemIndex(), 2);
  EXPECT_GE(clicks, 1);
  clicks = 0;
  l->SetItemIndex(0);
  EXPECT_EQ(clicks, 0);
  l->SetMultiSelect(true);
  l->SetSelected(0, true);
  l->SetSelected(2, true);
  EXPECT_EQ(l->SelCount(), 2);
  EXPECT_TRUE(l->Selected(2));
  EXPECT_FALSE(l->Selected(1));
}

TEST_F(Controls, MemoLinesFollowTheTextBothWays) {
  auto* m = new TMemo(form);
  m->SetParent(form);
  m->Lines().Add("first");
  m->Lines().Add("second");
  EXPECT_EQ(m->GetText(), "first\r\nsecond");
  m->SetFocus();
  QTest::keyClick(m->Widget(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(m->Widget(), Qt::Key_Return);
  QTest::keyClicks(m->Widget(), "third");
  ASSERT_EQ(m->Lines().Count(), 3);
  EXPECT_EQ(m->Lines()[2], "third");
  m->SetText("x\r\ny");
  EXPECT_EQ(m->Lines().Count(), 2);
  m->SetMaxLength(5);
  QTest::keyClicks(m->Widget(), "abcdef");
  EXPECT_LE(m->GetText().size(), 5u);
}

TEST(MaskEdit, MasksConvertToQtNotation) {
  struct Case {
    const char* mask;
    const char* qt;
    bool keep;
  } cases[] = {
      {"!99/99/0000;1;_", "00/00/9999;_", true},
      {"000.000.000.000;0; ", "999.999.999.999; ", false},
      {">LL-0000;1;*", ">AA-9999;*", true},
      {"\\A\\B 00", "\\A\\B 99;_", true},
      {"aaHH", "nn\\H\\H;_", true},
      {"", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    bool keep = !c.keep;
    EXPECT_EQ(MaskToQtInputMask(c.mask, &keep), c.qt);
    EXPECT_EQ(keep, c.keep);
  }
}

TEST_F(Controls, MaskEditTakesOnlyWhatTheMaskAllows) {
  auto* m = new TMaskEdit(form);
  m->SetParent(form);
  m->SetEditMask("00-00;1;_");
  m->SetFocus();
  QTest::keyClick(m->Widget(), Qt::Key_Home);
  QTest::keyClicks(m->Widget(), "1a2");
  EXPECT_FALSE(m->MaskComplete());
  QTest::keyClicks(m->Widget(), "34");
  EXPECT_EQ(m->GetText(), "12-34");
  EXPECT_TRUE(m->MaskComplete());
}

TEST_F(Controls, AlignLaysOutTopBottomLeftRightClient) {
  auto mk = [&](TAlign a, int size) {
    auto* p = new TPanel(form);
    p->SetParent(form);
    p->SetBounds(0, 0, size, size);
    p->SetAlign(a);
    return p;
  };
  TPanel* top = mk(TAlign::alTop, 40);
  TPanel* bottom = mk(TAlign::alBottom, 20);
  TPanel* left = mk(TAlign::alLeft, 50);
  TPanel* client = mk(TAlign::alClient, 10);
  EXPECT_EQ(top->BoundsRect().Width(), 400);
  EXPECT_EQ(bottom->Top(), 280);
  EXPECT_EQ(left->Top(), 40);
  EXPECT_EQ(left->Height(), 240);
  EXPECT_EQ(client->Left(), 50);
  EXPECT_EQ(client->Width(), 350);
  EXPECT_EQ(client->Height(), 240);
  int resizes = 0;
  client->OnResize = [&](TComponent* s) { resizes += s == client; };
  form->SetClientHeight(400);
  EXPECT_EQ(bottom->Top(), 380);
  EXPECT_EQ(client->Height(), 340);
  EXPECT_EQ(resizes, 1);
  top->Hide();  // a hidden aligned control gives up its room
  EXPECT_EQ(client->Top(), 0);
}

TEST_F(Controls, AnchorsKeepDistancesToRightAndBottom) {
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetBounds(310, 260, 75, 25);
  ok->SetAnchors(akRight | akBottom);
  auto* memo = new TMemo(form);
  memo->SetParent(form);
  memo->SetBounds(10, 10, 380, 240);
  memo->SetAnchors(akLeft | akTop | akRight | akBottom);
  form->SetClientWidth(500);
  form->SetClientHeight(350);
  EXPECT_EQ(ok->Left(), 410);
  EXPECT_EQ(ok->Top(), 310);
  EXPECT_EQ(memo->Width(), 480);
  EXPECT_EQ(memo->Height(), 290);
  EXPECT_EQ(memo->Left(), 10);
}

TEST_F(Controls, SplitterResizesTheControlBeforeIt) {
  auto* values = new TPanel(form);
  values->SetParent(form);
  values->SetHeight(100);
  values->SetAlign(TAlign::alTop);
  auto* split = new TSplitter(form);
  split->SetParent(form);
  split->SetTop(100);
  split->SetAlign(TAlign::alTop);
  auto* graph = new TPanel(form);
  graph->SetParent(form);
  graph->SetAlign(TAlign::alClient);
  EXPECT_EQ(split->Top(), 100);
  EXPECT_EQ(split->Height(), 3);  // the thickness turned with the orientation
  ASSERT_EQ(split->ResizeControl(), values);
  int moved = 0;
  split->OnMoved = [&](TComponent*) { ++moved; };
  QPoint c = split->Widget()->rect().center();
  QTest::mousePress(split->Widget(), Qt::LeftButton, {}, c);
  QTest::mouseMove(split->Widget(), c + QPoint(0, 40));
  QTest::mouseRelease(split->Widget(), Qt::LeftButton, {}, c + QPoint(0, 40));
  EXPECT_EQ(values->Height(), 140);
  EXPECT_EQ(graph->Top(), 143);
  EXPECT_EQ(moved, 1);
  split->MoveBy(-1000);  // never below MinSize
  EXPECT_EQ(values->Height(), split->MinSize());
}

TEST_F(Controls, PageControlSwitchesWithChangingAndChange) {
  auto* pc = new TPageControl(form);
  pc->SetParent(form);
  pc->SetAlign(TAlign::alClient);
  std::vector<TTabSheet*> sheets;
  for (const char* cap : {"On-line", "Database", "Settings"}) {
    auto* ts = new TTabSheet(form);
    ts->SetPageControl(pc);
    ts->SetCaption(cap);
    sheets.push_back(ts);
  }
  EXPECT_EQ(pc->PageCount(), 3);
  EXPECT_EQ(pc->ActivePage(), sheets[0]);
  std::vector<std::string> log;
  bool allow = true;
  pc->OnChanging = [&](TComponent* s, bool& ok) {
    log.push_back("changing from " + static_cast<TPageControl*>(s)->ActivePage()->Caption());
    ok = allow;
  };
  pc->OnChange = [&](TComponent* s) { log.push_back("now " + static_cast<TPageControl*>(s)->ActivePage()->Caption()); };
  sheets[2]->OnShow = [&](TComponent*) { log.push_back("show Settings"); };
  auto* bar = static_cast<QTabWidget*>(pc->Widget())->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
  EXPECT_EQ(pc->ActivePage(), sheets[2]);
  EXPECT_EQ(log, (std::vector<std::string>{"changing from On-line", "show Settings", "now Settings"}));
  log.clear();
  allow = false;  // an export runs: leaving is refused
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(pc->ActivePage(), sheets[2]);
  EXPECT_EQ(log, (std::vector<std::string>{"changing from Settings"}));
  log.clear();
  pc->SetActivePageIndex(0);  // the program's switch asks nobody
  EXPECT_EQ(pc->ActivePage(), sheets[0]);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(pc->GetPropText("ActivePage"), "");  // unnamed sheet
  sheets[1]->SetName("ts_DBManager");
  EXPECT_TRUE(pc->SetPropText("ActivePage", "ts_dbmanager"));
  EXPECT_EQ(pc->ActivePageIndex(), 1);
  sheets[1]->SetTabVisible(false);
  EXPECT_FALSE(bar->isTabVisible(1));
  delete sheets[2];
  EXPECT_EQ(pc->PageCount(), 2);
}

TEST_F(Controls, StatusBarPanelsAndAGaugeInTheLastPanel) {
  auto* sb = new TStatusBar(form);
  sb->SetParent(form);
  for (int i = 0; i < 6; ++i) sb->AddPanel(50);
  EXPECT_EQ(sb->Top(), 300 - 19);
  EXPECT_EQ(sb->Width(), 400);
  sb->SetPanelText(0, "msg_CommWasOpen");
  sb->SetPanelWidth(0, 100);
  EXPECT_EQ(sb->PanelText(0), "msg_CommWasOpen");
  EXPECT_EQ(sb->PanelText(9), "");
  TRect last = sb->PanelRect(5);
  EXPECT_EQ(last.Left, 100 + 4 * 50 + 1);
  EXPECT_EQ(last.Right, 399);  // the last panel reaches the right edge
  auto* gauge = new TProgressBar(form);
  gauge->SetParent(sb);
  gauge->SetBounds(last.Left, last.Top, last.Width(), last.Height());
  gauge->SetMax(12);
  gauge->SetPosition(6);
  EXPECT_EQ(gauge->Widget()->parentWidget(), sb->Widget());
  EXPECT_EQ(gauge->Position(), 6);
}

TEST_F(Controls, TabOrderAndFindNextControl) {
  auto* a = new TEdit(form);
  auto* b = new TEdit(form);
  auto* c = new TEdit(form);
  for (TEdit* e : {a, b, c}) e->SetParent(form);
  EXPECT_EQ(c->TabOrder(), 2);
  c->SetTabOrder(0);
  EXPECT_EQ(a->TabOrder(), 1);
  EXPECT_EQ(form->FindNextControl(c), a);
  EXPECT_EQ(form->FindNextControl(b), c);  // wraps
  EXPECT_EQ(form->FindNextControl(c, false), b);
}

}  // namespace
}  // namespace ui
