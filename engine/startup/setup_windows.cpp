// Splash and preparation windows: see setup_windows.h.
#include "engine/startup/setup_windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>

#include "engine/startup/messages.h"

namespace engine {
namespace {

QRect ScreenRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

void Flush(QWidget& w) {
  w.repaint();
  QCoreApplication::processEvents();
}

// A window just shown is mapped by the window system a little later; wait
// for that (at most half a second) so the first paint really reaches the
// screen before start-up goes on without an event loop.
void ShowAndWait(QWidget& w) {
  w.show();
  QElapsedTimer timer;
  timer.start();
  while (w.windowHandle() && !w.windowHandle()->isExposed() && timer.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  Flush(w);
}

}  // namespace

SetupSplash::SetupSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName("SetupSplash");
  Image = new QLabel(this);
  Image->setObjectName("Image");
}

bool SetupSplash::LoadPicture(const QString& hostPath) {
  QPixmap picture(hostPath);
  if (picture.isNull()) return false;
  Image->setPixmap(picture);
  Image->setGeometry(0, 0, picture.width(), picture.height());
  setFixedSize(picture.size());
  return true;
}

void SetupSplash::CentreOnScreen() {
  const QRect s = ScreenRect();
  move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
}

void SetupSplash::ShowNow() { ShowAndWait(*this); }

SetupInit::SetupInit(int versionMajor, int versionMinor)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("SetupInit");
  QFont font("Tahoma");
  font.setPointSize(8);
  setFont(font);
  setFixedSize(369, 89);
  const QIcon icon = style()->standardIcon(QStyle::SP_ComputerIcon);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(12, 12, 32, 32);
  Image1->setPixmap(icon.pixmap(32, 32));
  Image2 = new QLabel(this);
  Image2->setObjectName("Image2");
  Image2->setGeometry(12, 12, 32, 32);
  Image2->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
  const bool xpOrLater = versionMajor > 5 || (versionMajor == 5 && versionMinor != 0);
  Image1->setVisible(xpOrLater);
  Image2->setVisible(!xpOrLater);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(56, 8, 301, 42);
  Label1->setWordWrap(true);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setGeometry(12, 58, 345, 17);
  ProgressBar->setTextVisible(false);
}

void SetupInit::PlaceBelow(const QWidget& splash) {
  const QRect s = ScreenRect();
  int left = splash.x() + splash.width() / 2 + 50;
  int top = splash.y() + splash.height() + 25;
  if (top > s.height() - height() - 45) top = s.height() - height() - 45;
  if (left > s.width() - width() - 25) left = s.width() - width() - 25;
  move(left, top);
}

void SetupInit::CentreOnScreen() {
  const QRect s = ScreenRect();
  move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
}

void SetupInit::ShowNow() {
  setWindowTitle(QString::fromStdString(Message(Msg::WizardCaption)));
  Label1->setText(QString::fromStdString(Message(Msg::Preparing)));
  ShowAndWait(*this);
}

void SetupInit::SetProgress(int minimum, int maximum, int position) {
  ProgressBar->setRange(minimum, maximum);
  ProgressBar->setValue(position);
  Flush(*this);
}

void SetupInit::StepProgress() {
  ProgressBar->setValue(ProgressBar->value() + 1);
  Flush(*this);
}

}  // namespace engine
