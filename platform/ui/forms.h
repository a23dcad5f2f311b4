// Forms, timers and the application object.
//
// A form is a top-level window.  Its life on screen:
//
//   state     | entered by                     | left by
//   ----------+--------------------------------+------------------------------
//   hidden    | creation, Hide, close (caHide) | Show / ShowModal
//   shown     | Show                           | Hide, Close
//   modal     | ShowModal                      | ModalResult set and accepted
//
// Invariants:
//  1. ShowModal returns only once ModalResult is not mrNone and the close
//     was accepted (OnCloseQuery allowed it, OnClose did not answer caNone);
//     closing a modal form from its title bar sets mrCancel.
//  2. Width and Height are the outer size (client size plus a nominal frame
//     for the border style); ClientWidth and ClientHeight are the exact
//     pixel size of the form's widget.
//  3. Timers fire on the user-interface thread, only while Enabled and
//     Interval > 0; changing the interval restarts the count.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/controls.h"

class QTimer;

namespace ui {

enum class TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                       poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

extern const TEnumNames kPositionNames, kBorderStyleNames, kBorderIconNames, kFormStyleNames,
    kWindowStateNames;

constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
              mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TComponent* Sender, bool& CanClose)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner = nullptr);
  ~TForm() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  void SetText(std::string_view text) override;
  void SetVisible(bool v) override;
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int v) override;
  void SetClientHeight(int v) override;
  void SetBounds(int left, int top, int width, int height) override;

  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle s);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons b);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState s);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }

  // Shows the form and handles events until ModalResult is set (invariant 1).
  int ShowModal();
  bool Modal() const { return modal_; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r);
  // Asks OnCloseQuery, then OnClose, and acts on the answer.
  void Close();
  bool CloseQuery();
  // Frees the form once the present event has been handled.
  void Release();

  TWinControl* ActiveControl() const;
  void SetActiveControl(TWinControl* c);

  // Runs OnCreate once (the form-text reader does so after loading; a form
  // built in code calls it when its controls exist).
  void DoCreate();

  TNotifyEvent OnCreate, OnShow, OnHide, OnActivate, OnDeactivate, OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  bool WidgetEvent(QEvent* e) override;

 private:
  void ApplyWindowFlags();
  void ApplyPosition();
  void UpdateFrame();
  // The close protocol; false when the form stays.
  bool DoCloseProtocol(TCloseAction& action);

  TPosition position_ = TPosition::poDefaultPosOnly;
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TFormStyle formStyle_ = TFormStyle::fsNormal;
  TWindowState windowState_ = TWindowState::wsNormal;
  bool keyPreview_ = false;
  bool modal_ = false;
  int modalResult_ = mrNone;
  bool created_ = false;
};

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

  int Interval() const { return interval_; }
  void SetInterval(int ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);

  TNotifyEvent OnTimer;

 private:
  void Update();
  QTimer* timer_;
  int interval_ = 1000;
  bool enabled_ = true;
};

class TApplication {
 public:
  const std::string& Title() const { return title_; }
  void SetTitle(std::string_view t);
  TForm* MainForm() const { return mainForm_; }
  // Shows the main form and runs the event loop until it is closed or
  // Terminate is called.
  void Run(TForm* mainForm);
  void SetMainForm(TForm* f) { mainForm_ = f; }
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();

 private:
  friend class TForm;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

TApplication& Application();
// Handles every pending event and returns (the "process messages" call).
void ProcessMessages();

}  // namespace ui
