// The yardstick for the saver's start-up: the least a Qt program does to put
// a black window over the screen.
#include <QApplication>
#include <QScreen>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setStyleSheet(QStringLiteral("background: black"));
  window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
  window.setGeometry(window.screen()->geometry());
  window.show();
  return app.exec();
}
