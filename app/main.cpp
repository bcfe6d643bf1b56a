#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>

#include "command_line.h"
#include "display_check.h"
#include "fast_cover.h"
#include "saver_app.h"
#include "signal_exit.h"

int main(int argc, char** argv) {
  vz::ExitAtOnceOnSignals();
  // An unrecognised switch ends the program before anything touches the
  // display, with the usage on stderr but no window and the usual code 0.
  const vz::ParsedCommand command = vz::ParseCommandLine(vz::JoinCommandLine(argc, argv));
  if (command.mode == vz::Mode::Fail) {
    std::fputs(vz::kUsageLine, stderr);
    return 0;
  }
  if (!vz::DisplayAvailable()) return 1;

  // Black at once: loading the toolkit is the slowest part of start-up.
  std::unique_ptr<vz::FastCover> cover;
  if (command.mode == vz::Mode::Saver) cover = vz::FastCover::Show();

  QApplication app(argc, argv);
  QApplication::setOrganizationName("Quenfold");
  // The settings live under the executable's own name, so a renamed copy
  // starts from defaults.
  QApplication::setApplicationName(
      QFileInfo(QString::fromLocal8Bit(argc > 0 ? argv[0] : "vivedaziv")).completeBaseName());
  QApplication::setQuitOnLastWindowClosed(false);
  vz::ExitCleanlyOnSignals();

  vz::CSaverApp saver;
  saver.KeepCoverUntilShown(std::move(cover));
  if (!saver.InitInstance(command)) return 0;
  return saver.Run();
}
