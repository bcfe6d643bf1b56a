#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "command_line.h"

namespace vz {

class FastCover;
class HostWindowWatcher;

// The application object: turns the command line into one of the four modes.
class CSaverApp {
 public:
  CSaverApp();
  ~CSaverApp();

  // Start-up: false when it fails (nothing is shown then).
  bool InitInstance(const ParsedCommand& command);
  // Runs the message loop while there is a main window; the exit code.
  int Run();

  // Saver mode in a Wayland session (WAYLAND_DISPLAY names a compositor
  // that answers): the exit code of the native saver, which needs a
  // compositor offering layer-shell, or of its refusal; nothing when the X11
  // saver should run instead. Makes its own QCoreApplication.
  static std::optional<int> RunWaylandSaver(int argc, char** argv);

  // Names the application for the settings store: the maker, and the
  // executable's own name, so a renamed copy starts from defaults.
  static void NameApplication(const char* argv0);

  void RunConfigDialog(std::uint32_t parent, bool useForeground);
  void ChangePassword(std::uint32_t parent);


  // Keeps `cover` (black windows mapped before start-up) until the saver has
  // drawn itself over it; without a saver it goes at once.
  void KeepCoverUntilShown(std::unique_ptr<FastCover> cover);

 private:
  bool StartPreview(std::uint32_t host);
  bool StartSaver();
  void AdoptMainWindow(class CParticleWnd* window);

  QPointer<QWidget> mainWindow_;
  std::unique_ptr<HostWindowWatcher> hostWatcher_;
  std::unique_ptr<FastCover> fastCover_;
};

}  // namespace vz
