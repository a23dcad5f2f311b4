// Message boxes and file dialogs on QMessageBox and QFileDialog, each with
// its hook.
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "platform/base/text.h"
#include "platform/ui/forms.h"
#include "platform/ui/prop_helpers.h"
#include "platform/ui/qt_util.h"

namespace ui {

namespace {

TMessageHook& MsgHook() {
  static TMessageHook h;
  return h;
}
TFileDialogHook& FileHook() {
  static TFileDialogHook h;
  return h;
}

struct ButtonInfo {
  TMsgDlgBtn bit;
  int result;
  const char* caption;
};
const ButtonInfo kButtons[] = {
    {mbYes, mrYes, "&Yes"}, {mbNo, mrNo, "&No"}, {mbOK, mrOk, "OK"}, {mbCancel, mrCancel, "Cancel"},
    {mbAbort, mrAbort, "&Abort"}, {mbRetry, mrRetry, "&Retry"}, {mbIgnore, mrIgnore, "&Ignore"},
    {mbAll, mrAll, "&All"}, {mbNoToAll, mrNoToAll, "N&o to All"}, {mbYesToAll, mrYesToAll, "Yes to &All"},
    {mbHelp, mrNone, "&Help"},
};

int ShowMessageRequest(const TMessageRequest& r) {
  if (MsgHook()) return MsgHook()(r);
  QMessageBox box;
  box.setWindowTitle(QStr(r.Caption.empty() ? Application().Title() : r.Caption));
  box.setText(QStr(r.Text));
  switch (r.Type) {
    case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); break;
    case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); break;
    case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); break;
    case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); break;
    default: break;
  }
  std::vector<std::pair<QAbstractButton*, int>> map;
  for (const ButtonInfo& b : kButtons)
    if (r.Buttons & b.bit) {
      QMessageBox::ButtonRole role = b.result == mrCancel || b.result == mrNo ? QMessageBox::RejectRole
                                                                               : QMessageBox::AcceptRole;
      QPushButton* pb = box.addButton(QStr(b.caption), role);
      map.emplace_back(pb, b.result);
      if (b.result == r.DefaultResult) box.setDefaultButton(pb);
      if (b.result == mrCancel || (b.result == mrNo && !(r.Buttons & mbCancel))) box.setEscapeButton(pb);
    }
  box.exec();
  for (auto& [button, result] : map)
    if (box.clickedButton() == button) return result;
  return mrCancel;
}

}  // namespace

void SetMessageHook(TMessageHook hook) { MsgHook() = std::move(hook); }
void SetFileDialogHook(TFileDialogHook hook) { FileHook() = std::move(hook); }

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  TMessageRequest r;
  r.Text = text;
  static const char* captions[] = {"Warning", "Error", "Information", "Confirm", ""};
  r.Caption = captions[static_cast<int>(type)];
  if (r.Caption.empty()) r.Caption = Application().Title();
  r.Type = type;
  r.Buttons = buttons ? buttons : mbOK;
  for (const ButtonInfo& b : kButtons)
    if ((r.Buttons & b.bit) && b.result != mrNone) {
      r.DefaultResult = b.result;
      break;
    }
  return ShowMessageRequest(r);
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  TMessageRequest r;
  r.Text = text;
  r.Caption = caption;
  static const TMsgDlgButtons sets[] = {mbOK, mbOKCancel, mbAbortRetryIgnore, mbYesNoCancel, mbYes | mbNo,
                                        mbRetry | mbCancel};
  static const int order[][3] = {{mrOk}, {mrOk, mrCancel}, {mrAbort, mrRetry, mrIgnore},
                                 {mrYes, mrNo, mrCancel}, {mrYes, mrNo}, {mrRetry, mrCancel}};
  unsigned kind = flags & 0xF;
  if (kind > 5) kind = 0;
  r.Buttons = sets[kind];
  unsigned def = (flags >> 8) & 0xF;
  int d = def < 3 ? order[kind][def] : 0;
  r.DefaultResult = d ? d : order[kind][0];
  switch (flags & 0xF0) {
    case MB_ICONERROR: r.Type = TMsgDlgType::mtError; break;
    case MB_ICONQUESTION: r.Type = TMsgDlgType::mtConfirmation; break;
    case MB_ICONWARNING: r.Type = TMsgDlgType::mtWarning; break;
    case MB_ICONINFORMATION: r.Type = TMsgDlgType::mtInformation; break;
    default: r.Type = TMsgDlgType::mtCustom; break;
  }
  return ShowMessageRequest(r);
}

void ShowMessage(const std::string& text) {
  TMessageRequest r;
  r.Text = text;
  r.Caption = Application().Title();
  r.Type = TMsgDlgType::mtCustom;
  ShowMessageRequest(r);
}

std::string WithDefaultExt(const std::string& name, const std::string& defaultExt) {
  if (defaultExt.empty() || name.empty()) return name;
  std::size_t slash = name.find_last_of("/\\");
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return name;
  return name + "." + (defaultExt[0] == '.' ? defaultExt.substr(1) : defaultExt);
}

std::string FilterToQt(const std::string& filter) {
  std::vector<std::string> parts = base::Split(filter, '|');
  std::string r;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (!r.empty()) r += ";;";
    r += parts[i] + " (" + base::ReplaceAll(parts[i + 1], ";", " ") + ")";
  }
  return r;
}

namespace {

bool RunFileDialog(const TFileDialogRequest& r, std::vector<std::string>& chosen) {
  if (FileHook()) return FileHook()(r, chosen);
  QStringList names;
  QString filter = QStr(FilterToQt(r.Filter));
  QStringList filters = filter.split(";;");
  QString selected = r.FilterIndex >= 1 && r.FilterIndex <= filters.size() ? filters[r.FilterIndex - 1] : QString();
  QString start = QStr(r.InitialDir);
  if (!r.FileName.empty()) start = start.isEmpty() ? QStr(r.FileName) : start + "/" + QStr(r.FileName);
  QFileDialog::Options opts;
  if (!(r.Options & ofOverwritePrompt)) opts |= QFileDialog::DontConfirmOverwrite;
  switch (r.Kind) {
    case TFileDialogKind::Open:
      if (r.Options & ofAllowMultiSelect) names = QFileDialog::getOpenFileNames(nullptr, QStr(r.Title), start, filter, &selected, opts);
      else if (QString n = QFileDialog::getOpenFileName(nullptr, QStr(r.Title), start, filter, &selected, opts); !n.isEmpty()) names << n;
      break;
    case TFileDialogKind::Save:
      if (QString n = QFileDialog::getSaveFileName(nullptr, QStr(r.Title), start, filter, &selected, opts); !n.isEmpty()) names << n;
      break;
    case TFileDialogKind::Folder:
      if (QString n = QFileDialog::getExistingDirectory(nullptr, QStr(r.Title), start); !n.isEmpty()) names << n;
      break;
  }
  for (const QString& n : names) chosen.push_back(StdStr(n));
  return !chosen.empty();
}

}  // namespace

const TClassInfo& TOpenDialog::StaticClassInfo() {
  static const TClassInfo info = [] {
    using C = TOpenDialog;
    TClassInfo ci;
    ci.Name = "TOpenDialog";
    ci.Parent = &TComponent::StaticClassInfo();
    auto str = [](const char* name, std::string C::*m) {
      return props::Str<C>(name, [m](const C& c) { return c.*m; }, [m](C& c, std::string_view v) { c.*m = v; });
    };
    ci.Props = {str("FileName", &C::FileName), str("Filter", &C::Filter), str("InitialDir", &C::InitialDir),
                str("DefaultExt", &C::DefaultExt), str("Title", &C::Title),
                props::Int<C>("FilterIndex", [](const C& c) { return c.FilterIndex; },
                              [](C& c, int v) { c.FilterIndex = v; }),
                props::Stored("Options", TPropKind::Set)};
    ci.Create = [](TComponent* o) -> TComponent* { return new TOpenDialog(o); };
    return ci;
  }();
  return info;
}

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

bool TOpenDialog::Execute() {
  TFileDialogRequest r;
  r.Kind = kind_;
  r.Title = Title;
  r.InitialDir = InitialDir;
  r.FileName = FileName;
  r.Filter = Filter;
  r.FilterIndex = FilterIndex;
  r.DefaultExt = DefaultExt;
  r.Options = Options;
  std::vector<std::string> chosen;
  if (!RunFileDialog(r, chosen) || chosen.empty()) return false;
  Files.clear();
  for (const std::string& n : chosen) Files.push_back(WithDefaultExt(n, DefaultExt));
  FileName = Files.front();
  return true;
}

const TClassInfo& TSaveDialog::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo ci;
    ci.Name = "TSaveDialog";
    ci.Parent = &TOpenDialog::StaticClassInfo();
    ci.Create = [](TComponent* o) -> TComponent* { return new TSaveDialog(o); };
    return ci;
  }();
  return info;
}

TSaveDialog::TSaveDialog(TComponent* owner) : TOpenDialog(owner) { kind_ = TFileDialogKind::Save; }

bool SelectDirectory(const std::string& caption, const std::string& root, std::string& folder) {
  TFileDialogRequest r;
  r.Kind = TFileDialogKind::Folder;
  r.Title = caption;
  r.InitialDir = folder.empty() ? root : folder;
  std::vector<std::string> chosen;
  if (!RunFileDialog(r, chosen) || chosen.empty()) return false;
  folder = chosen.front();
  return true;
}

}  // namespace ui
