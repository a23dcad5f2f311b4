// The two windows of start-up: the splash picture (TSetupSplash) and the
// preparation window (TSetupInit).  Plain Qt widgets for now; the
// component layer can take them over later.
//
// No event loop runs during start-up: Show() and the progress calls force
// the repaint and let Qt process pending events once, so the windows are
// really on screen while the support files are unpacked.
#pragma once

#include <QDialog>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace engine {

class SetupSplash : public QWidget {
 public:
  SetupSplash();
  // Loads the picture and sizes the window to it; false when it cannot be read.
  bool LoadPicture(const QString& hostPath);
  void CentreOnScreen();
  void ShowNow();

  QLabel* Image = nullptr;
};

class SetupInit : public QDialog {
 public:
  // Image1 is shown on Windows XP and later (major above 5, or 5 with a
  // non-zero minor version), Image2 on older systems.
  SetupInit(int versionMajor, int versionMinor);
  // Left/top after a splash: right of its middle, under it, pulled back on screen.
  void PlaceBelow(const QWidget& splash);
  void CentreOnScreen();
  void ShowNow();  // caption and label from the message table
  void SetProgress(int minimum, int maximum, int position);
  void StepProgress();

  QLabel* Label1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QProgressBar* ProgressBar = nullptr;
};

}  // namespace engine
