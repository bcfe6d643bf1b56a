#include <QApplication>
#include <QFileInfo>

#include "command_line.h"
#include "saver_app.h"
#include "signal_exit.h"

int main(int argc, char** argv) {
  // An unrecognised switch ends the program before anything touches the
  // display.
  const vz::ParsedCommand command = vz::ParseCommandLine(vz::JoinCommandLine(argc, argv));
  if (command.mode == vz::Mode::Fail) return 0;

  QApplication app(argc, argv);
  QApplication::setOrganizationName("Quenfold");
  // The settings live under the executable's own name, so a renamed copy
  // starts from defaults.
  QApplication::setApplicationName(
      QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "vivedaziv")).completeBaseName());
  QApplication::setQuitOnLastWindowClosed(false);
  vz::ExitCleanlyOnSignals();

  vz::CSaverApp saver;
  if (!saver.InitInstance(command)) return 0;
  return saver.Run();
}
