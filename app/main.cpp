#include <QApplication>

#include <cstdio>
#include <memory>
#include <optional>

#include "command_line.h"
#include "display_check.h"
#include "fast_cover.h"
#include "saver_app.h"
#include "settings_file.h"
#include "signal_exit.h"
#include "x11_host.h"

namespace {
// Hosts may signal the program the moment they start it. Functions in the
// executable's .preinit_array run once the libraries are loaded and bound
// (most of start-up, which no handler can cover), but before any of them
// initialises itself.
void EarlySignals(int, char**, char**) {
  vz::IgnoreBrokenPipes();
  vz::ExitAtOnceOnSignals();
}
[[gnu::section(".preinit_array"), gnu::used]] void (*const kEarlySignals)(int, char**, char**) =
    EarlySignals;
}  // namespace

int main(int argc, char** argv) {
  // Again, for builds whose runtime comes first there (sanitisers).
  vz::IgnoreBrokenPipes();
  vz::ExitAtOnceOnSignals();
  // An unrecognised switch ends the program before anything touches the
  // display, with the usage on stderr but no window and the usual code 0.
  const vz::ParsedCommand command = vz::ParseArguments(argc, argv);
  if (command.handleTooLarge) {
    std::fprintf(stderr, "vivedaziv: window id %s does not fit in 32 bits: it names no X window\n",
                 command.handleText.c_str());
    return 0;
  }
  if (command.mode == vz::Mode::Fail) {
    std::fputs(vz::kUsageLine, stderr);
    return 0;
  }
  // On a Wayland desktop the saver runs natively when the compositor allows.
  if (command.mode == vz::Mode::Saver) {
    if (const std::optional<int> code = vz::CSaverApp::RunWaylandSaver(argc, argv)) return *code;
  }
  if (!vz::DisplayAvailable(command.mode)) return 1;

  // Black at once: loading the toolkit is the slowest part of start-up.
  std::unique_ptr<vz::FastCover> cover;
  if (command.mode == vz::Mode::Saver) cover = vz::FastCover::Show();

  vz::EndWithCodeOneOnFatalErrors();
  QApplication app(argc, argv);
  vz::ToolkitStarted();
  vz::CSaverApp::NameApplication(argc > 0 ? argv[0] : nullptr);
  QApplication::setQuitOnLastWindowClosed(false);
  vz::ExitCleanlyOnSignals();
  // A save waiting for another process's lock gives up on them too.
  vz::SetLockWaitInterrupt(vz::ExitSignalFd());

  vz::CSaverApp saver;
  saver.KeepCoverUntilShown(std::move(cover));
  // A start-up that failed because the display went away ends as any loss
  // of the display does.
  if (!saver.InitInstance(command)) return vz::X11ConnectionBroken() ? 1 : 0;
  return saver.Run();
}
