#include "platform/machine/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/machine/tests/test_util.h"

namespace machine {
namespace {

using machine_test::ReadText;
using machine_test::ScopedEnv;
using machine_test::TempDir;

TEST(MessageBox, DefaultButtonTable) {
  struct { unsigned flags; int result; } cases[] = {
      {MB_OK, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
      {MB_YESNOCANCEL | MB_ICONQUESTION, IDYES},
      {MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING, IDNO},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_YESNO | MB_DEFBUTTON3, IDYES},  // no third button: the first
      {MB_OK | MB_DEFBUTTON2, IDOK},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultMessageBoxResult(c.flags), c.result) << c.flags;
}

TEST(MessageBox, HookAnswersWithoutAWindow) {
  std::string seen;
  SetMessageBoxHook([&](std::string_view cap, std::string_view text, unsigned flags) {
    seen = std::string(cap) + "/" + std::string(text) + "/" + std::to_string(flags);
    return IDNO;
  });
  EXPECT_EQ(ShowMessageBox("Setup", "Continue?", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(seen, "Setup/Continue?/36");
  SetMessageBoxHook(nullptr);
}

TEST(MessageBox, LogFileAndAnswers) {
  TempDir dir;
  std::string log = dir / "boxes.log";
  ScopedEnv l("SETUPENGINE_MSGBOX_LOG", log.c_str());
  {
    ScopedEnv a("SETUPENGINE_MSGBOX_ANSWERS", "7,2");
    EXPECT_EQ(ShowMessageBox("A", "line1\r\nline2\nline3", MB_YESNO), IDNO);
    EXPECT_EQ(ShowMessageBox("B", "x", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(ShowMessageBox("C", "y", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);  // answers used up
  }
  EXPECT_EQ(ShowMessageBox("D", "z", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(ReadText(log), "A|line1\\nline2\\nline3|4\nB|x|1\nC|y|259\nD|z|16\n");
}

// A real box on the offscreen platform: the default button is Enter's,
// the clicked button is the result.
TEST(MessageBox, RealQtBox) {
  ScopedEnv l("SETUPENGINE_MSGBOX_LOG", nullptr);
  struct { unsigned flags; const char* click; int result; } cases[] = {
      {MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION, nullptr, IDNO},  // Enter: the default
      {MB_ABORTRETRYIGNORE, "Retry", IDRETRY},
      {MB_OKCANCEL, "Cancel", IDCANCEL},
  };
  for (const auto& c : cases) {
    std::string title, text;
    bool hadIcon = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle().toStdString();
      text = box->text().toStdString();
      hadIcon = box->icon() != QMessageBox::NoIcon;
      if (!c.click) {
        box->defaultButton()->click();
        return;
      }
      for (QAbstractButton* b : box->buttons())
        if (b->text().remove('&') == c.click) b->click();
    });
    EXPECT_EQ(ShowMessageBox("Caption", "Text ü", c.flags), c.result) << c.flags;
    EXPECT_EQ(title, "Caption");
    EXPECT_EQ(text, "Text ü");
    EXPECT_EQ(hadIcon, (c.flags & 0xF0) != 0);
  }
}

}  // namespace
}  // namespace machine
