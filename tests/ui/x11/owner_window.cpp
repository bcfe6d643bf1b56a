// A window for the configuration dialog to stay over, with a native child:
// prints "<top-level id> <child id>" and lives until its input ends.
// Usage: owner_window X Y WIDTH HEIGHT
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 5) return 2;
  QWidget owner;
  owner.setWindowTitle("owner");
  owner.setGeometry(std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  auto* child = new QWidget(&owner);
  child->setGeometry(10, 10, 50, 30);
  child->setAttribute(Qt::WA_NativeWindow);
  owner.show();
  app.processEvents();
  std::printf("%llu %llu\n", static_cast<unsigned long long>(owner.winId()),
              static_cast<unsigned long long>(child->winId()));
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char c;
    if (::read(STDIN_FILENO, &c, 1) <= 0) app.quit();
  });
  return app.exec();
}
