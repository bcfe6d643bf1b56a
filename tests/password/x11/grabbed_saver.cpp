// A stand-in saver for the real-X11 test: a full-screen window that holds the
// keyboard and pointer grabs, as the saver does, then runs the close check.
// Exit status 0: the saver may close; 1: the user was refused.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "password_calls.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget saver;
  saver.setWindowTitle(QStringLiteral("grabbed saver"));
  saver.setStyleSheet(QStringLiteral("background: black"));
  saver.showFullScreen();
  QTimer::singleShot(500, &saver, [&] {
    saver.grabKeyboard();
    saver.grabMouse();
    bool verifying = false;
    const bool close = vz::CheckPasswordBeforeClose(
        static_cast<unsigned long>(saver.winId()), verifying);
    std::printf("%s\n", close ? "close" : "stay");
    application.exit(close ? 0 : 1);
  });
  return application.exec();
}
