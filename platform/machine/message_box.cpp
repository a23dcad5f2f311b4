// Message boxes: hook, log file, or a real QMessageBox (see message_box.h).
#include "platform/machine/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/base/text.h"

namespace machine {
namespace {

std::mutex gMutex;
MessageBoxHook gHook;

// Answers of SETUPENGINE_MSGBOX_ANSWERS, handed out in turn.  A changed
// variable starts the list again.
std::string gAnswersText;
std::vector<int> gAnswers;
std::size_t gNextAnswer = 0;

int NextLoggedAnswer(unsigned flags) {
  const char* env = std::getenv("SETUPENGINE_MSGBOX_ANSWERS");
  std::string text = env ? env : "";
  if (text != gAnswersText) {
    gAnswersText = text;
    gAnswers.clear();
    gNextAnswer = 0;
    for (const std::string& item : base::Split(text, ','))
      if (auto v = base::ParseInt(item)) gAnswers.push_back(static_cast<int>(*v));
  }
  if (gNextAnswer < gAnswers.size()) return gAnswers[gNextAnswer++];
  return DefaultMessageBoxResult(flags);
}

std::string OneLine(std::string_view s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      r += "\\n";
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else if (s[i] == '\n') {
      r += "\\n";
    } else {
      r += s[i];
    }
  }
  return r;
}

bool AppendLine(const char* path, const std::string& line) {
  FILE* f = std::fopen(path, "ab");
  if (!f) return false;
  bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  return std::fclose(f) == 0 && ok;
}

QApplication* EnsureApplication() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
  if (QCoreApplication::instance()) return nullptr;  // a non-widget application owns the process
  static int argc = 1;
  static char name[] = "setupengine";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // lives as long as the process
  return app;
}

QMessageBox::StandardButton QtButton(int id) {
  switch (id) {
    case IDOK: return QMessageBox::Ok;
    case IDCANCEL: return QMessageBox::Cancel;
    case IDABORT: return QMessageBox::Abort;
    case IDRETRY: return QMessageBox::Retry;
    case IDIGNORE: return QMessageBox::Ignore;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    default: return QMessageBox::NoButton;
  }
}

int ShowQtBox(std::string_view caption, std::string_view text, unsigned flags, void* owner) {
  if (!EnsureApplication()) return DefaultMessageBoxResult(flags);
  QMessageBox box(static_cast<QWidget*>(owner));
  box.setWindowTitle(QString::fromUtf8(caption.data(), static_cast<int>(caption.size())));
  box.setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  std::map<QAbstractButton*, int> ids;
  const int def = DefaultMessageBoxResult(flags);
  bool hasCancel = false;
  for (int id : MessageBoxButtons(flags)) {
    QPushButton* b = box.addButton(QtButton(id));
    ids[b] = id;
    if (id == def) box.setDefaultButton(b);
    if (id == IDCANCEL) {
      box.setEscapeButton(b);
      hasCancel = true;
    }
  }
  if (!hasCancel && ids.size() == 1) box.setEscapeButton(ids.begin()->first);
  box.exec();
  auto it = ids.find(box.clickedButton());
  if (it != ids.end()) return it->second;
  return hasCancel ? IDCANCEL : def;
}

}  // namespace

std::vector<int> MessageBoxButtons(unsigned flags) {
  switch (flags & 0xF) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int DefaultMessageBoxResult(unsigned flags) {
  std::vector<int> buttons = MessageBoxButtons(flags);
  std::size_t n = (flags >> 8) & 0xF;
  return n < buttons.size() ? buttons[n] : buttons[0];
}

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHook = std::move(hook);
}

int ShowMessageBox(std::string_view caption, std::string_view text, unsigned flags, void* owner) {
  {
    std::unique_lock<std::mutex> lock(gMutex);
    if (gHook) {
      MessageBoxHook hook = gHook;
      lock.unlock();
      return hook(caption, text, flags);
    }
    if (const char* log = std::getenv("SETUPENGINE_MSGBOX_LOG"); log && *log) {
      AppendLine(log, OneLine(caption) + "|" + OneLine(text) + "|" + std::to_string(flags) + "\n");
      return NextLoggedAnswer(flags);
    }
  }
  return ShowQtBox(caption, text, flags, owner);
}

}  // namespace machine
