// Splash and preparation window: placement, icons, progress, and a picture
// of the window for a person to look at (SETUPENGINE_SCREENSHOT_DIR).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <cstdlib>

#include "engine/startup/setup_windows.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "windows_test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

TEST(SetupWindows, PreparationWindow) {
  App();
  engine::SetupInit w(6, 1);
  EXPECT_EQ(w.size(), QSize(369, 89));
  w.CentreOnScreen();
  w.ShowNow();
  EXPECT_EQ(w.windowTitle(), "Corvane Wizard");
  EXPECT_EQ(w.Label1->text(),
            "Corvane is preparing the Corvane Wizard which will install this application. Please wait.");
  EXPECT_TRUE(w.Image1->isVisible());
  EXPECT_FALSE(w.Image2->isVisible());
  // Three pages to preload: minimum 0, maximum 3, position 1, then one step each.
  w.SetProgress(0, 3, 1);
  w.StepProgress();
  w.StepProgress();
  EXPECT_EQ(w.ProgressBar->maximum(), 3);
  EXPECT_EQ(w.ProgressBar->value(), 3);
  if (const char* dir = std::getenv("SETUPENGINE_SCREENSHOT_DIR"))
    w.grab().save(QString(dir) + "/preparation-window.png");

  struct Version { int major, minor; bool image1; };
  for (const Version v : {Version{5, 0, false}, Version{5, 1, true}, Version{4, 10, false}, Version{10, 0, true}}) {
    engine::SetupInit old(v.major, v.minor);
    old.ShowNow();
    EXPECT_EQ(old.Image1->isVisible(), v.image1) << v.major << "." << v.minor;
    EXPECT_EQ(old.Image2->isVisible(), !v.image1);
  }
}

TEST(SetupWindows, PlacedBelowTheSplashAndPulledBackOnScreen) {
  App();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QString bmp = QDir::tempPath() + "/splash-test.bmp";
  QImage picture(200, 100, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  ASSERT_TRUE(picture.save(bmp, "BMP"));

  engine::SetupSplash splash;
  ASSERT_TRUE(splash.LoadPicture(bmp));
  EXPECT_EQ(splash.size(), QSize(200, 100));
  EXPECT_FALSE(splash.LoadPicture(bmp + ".missing"));
  splash.CentreOnScreen();
  engine::SetupInit w(6, 1);
  w.PlaceBelow(splash);
  EXPECT_EQ(w.x(), std::min(splash.x() + 100 + 50, screen.width() - 369 - 25));
  EXPECT_EQ(w.y(), std::min(splash.y() + 100 + 25, screen.height() - 89 - 45));

  // A splash at the bottom right: the window is pulled back.
  splash.move(screen.width() - 100, screen.height() - 50);
  w.PlaceBelow(splash);
  EXPECT_EQ(w.x(), screen.width() - 369 - 25);
  EXPECT_EQ(w.y(), screen.height() - 89 - 45);
  QFile::remove(bmp);
}

}  // namespace
