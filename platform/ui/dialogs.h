// Message boxes and file dialogs.
//
// Each kind has one hook: while a hook is set, no window is shown and the
// hook answers instead (tests, silent runs).  Without a hook the Qt dialog
// is shown modally.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/component.h"

namespace ui {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : unsigned {
  mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32, mbIgnore = 64,
  mbAll = 128, mbNoToAll = 256, mbYesToAll = 512, mbHelp = 1024
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel, mbOKCancel = mbOK | mbCancel,
                         mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;

// Windows-style message box flags and answers (answers equal the mr codes).
constexpr unsigned MB_OK = 0, MB_OKCANCEL = 1, MB_ABORTRETRYIGNORE = 2, MB_YESNOCANCEL = 3, MB_YESNO = 4,
                   MB_RETRYCANCEL = 5, MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                   MB_ICONINFORMATION = 0x40, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

struct TMessageRequest {
  std::string Text;
  std::string Caption;
  TMsgDlgType Type = TMsgDlgType::mtInformation;
  TMsgDlgButtons Buttons = mbOK;
  int DefaultResult = 1;  // the mr code of the default button
};
// Returns the mr code of the answer.
using TMessageHook = std::function<int(const TMessageRequest&)>;
void SetMessageHook(TMessageHook hook);  // an empty hook shows windows again

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);
// Caption, MB_* flags; returns IDOK, IDYES, ...
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
void ShowMessage(const std::string& text);

enum TOpenOption : unsigned {
  ofOverwritePrompt = 1, ofAllowMultiSelect = 2, ofPathMustExist = 4, ofFileMustExist = 8,
  ofHideReadOnly = 16, ofNoChangeDir = 32
};

enum class TFileDialogKind { Open, Save, Folder };

struct TFileDialogRequest {
  TFileDialogKind Kind = TFileDialogKind::Open;
  std::string Title;
  std::string InitialDir;
  std::string FileName;
  std::string Filter;  // "Text files|*.txt|All files|*.*"
  int FilterIndex = 1;
  std::string DefaultExt;
  unsigned Options = 0;
};
// The hook fills the chosen names (one, or several with ofAllowMultiSelect)
// and returns true, or returns false for Cancel.
using TFileDialogHook = std::function<bool(const TFileDialogRequest&, std::vector<std::string>& chosen)>;
void SetFileDialogHook(TFileDialogHook hook);

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
  // true when the user chose a file; FileName (and Files) then hold it.
  bool Execute();

  std::string FileName, Filter, InitialDir, DefaultExt, Title;
  int FilterIndex = 1;
  unsigned Options = ofHideReadOnly;
  std::vector<std::string> Files;

 protected:
  TFileDialogKind kind_ = TFileDialogKind::Open;
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner);
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

// Lets the user pick a folder; true with the folder in `folder`.
bool SelectDirectory(const std::string& caption, const std::string& root, std::string& folder);

// The chosen name with DefaultExt added when it has no extension.
std::string WithDefaultExt(const std::string& name, const std::string& defaultExt);
// "desc|pattern|desc|pattern" as Qt's "desc (pattern);;desc (pattern)".
std::string FilterToQt(const std::string& filter);

}  // namespace ui
