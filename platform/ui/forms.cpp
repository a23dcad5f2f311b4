// TForm on a top-level QWidget, TTimer on QTimer, and the application loop.
#include "platform/ui/forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <set>

#include "platform/ui/prop_helpers.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/qt_util.h"

namespace ui {

const TEnumNames kPositionNames = {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                   "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"};
const TEnumNames kBorderStyleNames = {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"};
const TEnumNames kBorderIconNames = {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"};
const TEnumNames kFormStyleNames = {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"};
const TEnumNames kWindowStateNames = {"wsNormal", "wsMinimized", "wsMaximized"};

namespace {

// Forms waiting to be freed by Release; a form freed earlier leaves the set.
std::set<TForm*>& PendingRelease() {
  static std::set<TForm*> s;
  return s;
}

TButton* FindButton(const TWinControl& p, bool isDefault) {
  for (int i = 0; i < p.ControlCount(); ++i) {
    TControl* c = p.Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (auto* b = dynamic_cast<TButton*>(c))
      if (isDefault ? b->Default() : b->Cancel()) return b;
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (TButton* b = FindButton(*w, isDefault)) return b;
  }
  return nullptr;
}

void WakeUp() {
  if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
}

}  // namespace

const TClassInfo& TForm::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TForm;
    TClassInfo ci;
    ci.Name = "TForm";
    ci.Parent = &TWinControl::StaticClassInfo();
    ci.Props = {
        props::Str<C>("Caption", [](const C& c) { return c.Caption(); },
                      [](C& c, std::string_view v) { c.SetCaption(v); }),
        UI_INT(C, ClientWidth), UI_INT(C, ClientHeight),
        UI_ENUM(C, TPosition, Position, kPositionNames),
        UI_ENUM(C, TFormBorderStyle, BorderStyle, kBorderStyleNames),
        UI_SET(C, BorderIcons, kBorderIconNames),
        UI_ENUM(C, TFormStyle, FormStyle, kFormStyleNames),
        UI_ENUM(C, TWindowState, WindowState, kWindowStateNames),
        UI_BOOL(C, KeyPreview),
        props::Stored("OldCreateOrder", TPropKind::Boolean), props::Stored("PixelsPerInch", TPropKind::Integer),
        props::Stored("TextHeight", TPropKind::Integer), props::Stored("Scaled", TPropKind::Boolean),
        props::Stored("AutoScroll", TPropKind::Boolean), props::Stored("DesignSize"),
        props::Stored("Icon.Data", TPropKind::Binary),
    };
    ci.Events = {UI_EVENT(C, OnCreate), UI_EVENT(C, OnShow), UI_EVENT(C, OnHide), UI_EVENT(C, OnActivate),
                 UI_EVENT(C, OnDeactivate), UI_EVENT(C, OnDestroy), props::Other("OnClose"),
                 props::Other("OnCloseQuery")};
    ci.Create = [](TComponent* owner) -> TComponent* { return new TForm(owner); };
    return ci;
  }();
  return info;
}

TForm::TForm(TComponent* owner) : TWinControl(owner, new QWidget(nullptr, Qt::Window)) {
  visible_ = false;
  passiveMouse_ = true;
  clicksFromMouse_ = true;
  fillsBackground_ = true;
  ApplyFont();
  ApplyColor();
  ApplyWindowFlags();
  UpdateFrame();
  SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
  Fire(OnDestroy, this);
  PendingRelease().erase(this);
  TApplication& app = Application();
  if (app.mainForm_ == this) {
    app.mainForm_ = nullptr;
    app.Terminate();
  }
}

void TForm::SetText(std::string_view text) {
  TControl::SetText(text);
  Widget()->setWindowTitle(QStr(text));
}

void TForm::UpdateFrame() {
  switch (borderStyle_) {
    case TFormBorderStyle::bsNone: frameW_ = 0; frameH_ = 0; break;
    case TFormBorderStyle::bsSizeable: frameW_ = 8; frameH_ = 27; break;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsDialog: frameW_ = 6; frameH_ = 25; break;
    case TFormBorderStyle::bsToolWindow: frameW_ = 6; frameH_ = 21; break;
    case TFormBorderStyle::bsSizeToolWin: frameW_ = 8; frameH_ = 23; break;
  }
}

int TForm::ClientWidth() const { return Widget()->width(); }
int TForm::ClientHeight() const { return Widget()->height(); }
void TForm::SetClientWidth(int v) { SetBounds(Left(), Top(), v + frameW_, Height()); }
void TForm::SetClientHeight(int v) { SetBounds(Left(), Top(), Width(), v + frameH_); }

void TForm::SetBounds(int left, int top, int width, int height) {
  QWidget* w = Widget();
  bool fixed = borderStyle_ != TFormBorderStyle::bsSizeable && borderStyle_ != TFormBorderStyle::bsSizeToolWin &&
               borderStyle_ != TFormBorderStyle::bsNone;
  w->setMinimumSize(0, 0);
  w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  TControl::SetBounds(left, top, width, height);
  if (fixed) w->setFixedSize(w->size());
}

void TForm::ApplyWindowFlags() {
  Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint;
  switch (borderStyle_) {
    case TFormBorderStyle::bsNone: f |= Qt::FramelessWindowHint; break;
    case TFormBorderStyle::bsDialog: f = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint; break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin: f = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint; break;
    default: f |= Qt::WindowTitleHint; break;
  }
  if (borderStyle_ != TFormBorderStyle::bsNone && (borderIcons_ & biSystemMenu)) {
    f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (borderStyle_ != TFormBorderStyle::bsDialog) {
      if (borderIcons_ & biMinimize) f |= Qt::WindowMinimizeButtonHint;
      if (borderIcons_ & biMaximize) f |= Qt::WindowMaximizeButtonHint;
    }
    if (borderIcons_ & biHelp) f |= Qt::WindowContextHelpButtonHint;
  }
  if (formStyle_ == TFormStyle::fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  bool shown = Widget()->isVisible();
  Widget()->setWindowFlags(f);
  if (shown) Widget()->show();
}

void TForm::SetBorderStyle(TFormBorderStyle s) {
  int cw = ClientWidth(), ch = ClientHeight();
  borderStyle_ = s;
  UpdateFrame();
  ApplyWindowFlags();
  SetBounds(Left(), Top(), cw + frameW_, ch + frameH_);
}

void TForm::SetBorderIcons(TBorderIcons b) {
  borderIcons_ = b;
  ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle s) {
  formStyle_ = s;
  ApplyWindowFlags();
}

TWindowState TForm::WindowState() const {
  if (!Widget()->isVisible()) return windowState_;
  Qt::WindowStates st = Widget()->windowState();
  if (st & Qt::WindowMinimized) return TWindowState::wsMinimized;
  if (st & Qt::WindowMaximized) return TWindowState::wsMaximized;
  return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState s) {
  windowState_ = s;
  if (!Widget()->isVisible()) return;
  switch (s) {
    case TWindowState::wsNormal: Widget()->showNormal(); break;
    case TWindowState::wsMinimized: Widget()->showMinimized(); break;
    case TWindowState::wsMaximized: Widget()->showMaximized(); break;
  }
}

void TForm::ApplyPosition() {
  QRect area;
  const TForm* center = nullptr;
  switch (position_) {
    case TPosition::poScreenCenter:
    case TPosition::poDesktopCenter: break;
    case TPosition::poMainFormCenter: center = Application().MainForm(); break;
    case TPosition::poOwnerFormCenter: center = dynamic_cast<const TForm*>(Owner()); break;
    default: return;
  }
  if (center == this) center = nullptr;
  if (center && center->Widget()->isVisible()) {
    area = center->Widget()->frameGeometry();
  } else if (QScreen* s = QGuiApplication::primaryScreen()) {
    area = s->availableGeometry();
  } else {
    return;
  }
  int l = area.x() + (area.width() - Width()) / 2;
  int t = area.y() + (area.height() - Height()) / 2;
  Widget()->move(std::max(l, area.x()), std::max(t, area.y()));
}

void TForm::SetVisible(bool v) {
  QWidget* w = Widget();
  if (v) {
    bool wasShown = w->isVisible();
    visible_ = true;
    if (!wasShown) {
      ApplyPosition();
      Fire(OnShow, this);
      if (Destroying() || !visible_) return;
    }
    switch (windowState_) {
      case TWindowState::wsMaximized: w->showMaximized(); break;
      case TWindowState::wsMinimized: w->showMinimized(); break;
      default: w->show(); break;
    }
    if (!wasShown && QGuiApplication::platformName() != "offscreen") {
      w->raise();
      w->activateWindow();
    }
  } else {
    bool wasShown = visible_;
    visible_ = false;
    w->hide();
    if (wasShown) Fire(OnHide, this);
  }
}

void TForm::DoCreate() {
  if (created_) return;
  created_ = true;
  Fire(OnCreate, this);
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

bool TForm::DoCloseProtocol(TCloseAction& action) {
  action = TCloseAction::caNone;
  if (!CloseQuery()) return false;
  action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  return action != TCloseAction::caNone;
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  TCloseAction a;
  if (!DoCloseProtocol(a)) return;
  if (a == TCloseAction::caMinimize) {
    Widget()->showMinimized();
    return;
  }
  SetVisible(false);
  if (a == TCloseAction::caFree) Release();
  if (this == Application().MainForm()) Application().Terminate();
}

bool TForm::WidgetEvent(QEvent* e) {
  switch (e->type()) {
    case QEvent::Close:
      // A close request from the window system runs the same protocol.
      e->ignore();
      Close();
      return true;
    case QEvent::Hide:
      if (!e->spontaneous() && visible_ && !Widget()->isVisible()) {
        visible_ = false;
        Fire(OnHide, this);
      }
      return false;
    case QEvent::KeyPress: {
      // Enter clicks the default button, Escape the cancel button.
      int key = static_cast<QKeyEvent*>(e)->key();
      bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
      if (enter || key == Qt::Key_Escape) {
        if (TButton* b = FindButton(*this, enter)) {
          b->Click();
          return true;
        }
      }
      return TWinControl::WidgetEvent(e);
    }
    case QEvent::WindowActivate:
      Fire(OnActivate, this);
      return false;
    case QEvent::WindowDeactivate:
      Fire(OnDeactivate, this);
      return false;
    default:
      return TWinControl::WidgetEvent(e);
  }
}

void TForm::SetModalResult(int r) {
  modalResult_ = r;
  if (modal_) WakeUp();
}

int TForm::ShowModal() {
  if (modal_) return mrNone;
  QWidget* w = Widget();
  if (w->isVisible()) w->hide();
  modal_ = true;
  modalResult_ = mrNone;
  w->setWindowModality(Qt::ApplicationModal);
  SetVisible(true);
  TCloseAction action = TCloseAction::caHide;
  for (;;) {
    while (modalResult_ == mrNone && !Application().Terminated() && !Destroying())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    if (Destroying()) return mrCancel;
    if (modalResult_ == mrNone) {  // the application is ending
      modalResult_ = mrCancel;
      break;
    }
    if (DoCloseProtocol(action)) break;
    modalResult_ = mrNone;  // refused: keep waiting
  }
  int result = modalResult_;
  modal_ = false;
  SetVisible(false);
  w->setWindowModality(Qt::NonModal);
  if (action == TCloseAction::caFree) Release();
  return result;
}

void TForm::Release() {
  PendingRelease().insert(this);
  QTimer::singleShot(0, qApp, [this] {
    if (PendingRelease().count(this)) delete this;
  });
}

TWinControl* TForm::ActiveControl() const {
  QWidget* f = Widget()->focusWidget();
  if (!f) return nullptr;
  std::function<TWinControl*(const TWinControl*)> find = [&](const TWinControl* p) -> TWinControl* {
    for (int i = 0; i < p->ControlCount(); ++i)
      if (auto* w = dynamic_cast<TWinControl*>(p->Controls(i))) {
        if (w->Widget() == f || w->Widget()->isAncestorOf(f)) {
          TWinControl* deeper = find(w);
          return deeper ? deeper : w;
        }
      }
    return nullptr;
  };
  return find(this);
}

void TForm::SetActiveControl(TWinControl* c) {
  if (c) c->SetFocus();
}

// --- TTimer --------------------------------------------------------------------------

const TClassInfo& TTimer::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TTimer;
    TClassInfo ci;
    ci.Name = "TTimer";
    ci.Parent = &TComponent::StaticClassInfo();
    ci.Props = {UI_INT(C, Interval), UI_BOOL(C, Enabled)};
    ci.Events = {UI_EVENT(C, OnTimer)};
    ci.Create = [](TComponent* owner) -> TComponent* { return new TTimer(owner); };
    return ci;
  }();
  return info;
}

TTimer::TTimer(TComponent* owner) : TComponent(owner), timer_(new QTimer) {
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
    if (!Destroying()) Fire(OnTimer, this);
  });
  Update();
}

TTimer::~TTimer() {
  BeginDestroy();
  delete timer_;
}

void TTimer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Update();
}

void TTimer::Update() {
  timer_->stop();
  if (enabled_ && interval_ > 0) timer_->start(interval_);
}

// --- application -------------------------------------------------------------------------

TApplication& Application() {
  static TApplication app;
  return app;
}

void TApplication::SetTitle(std::string_view t) { title_ = std::string(t); }

void TApplication::Run(TForm* mainForm) {
  if (mainForm) mainForm_ = mainForm;
  terminated_ = false;
  if (mainForm_) mainForm_->Show();
  while (!terminated_) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void TApplication::Terminate() {
  terminated_ = true;
  WakeUp();
}

void TApplication::ProcessMessages() { ui::ProcessMessages(); }

void ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace ui
