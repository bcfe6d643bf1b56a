#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "command_line.h"

namespace vz {

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

  void RunConfigDialog(std::uint32_t parent, bool useForeground);
  void ChangePassword(std::uint32_t parent);

  QWidget* MainWindow() const { return mainWindow_; }

 private:
  bool StartPreview(std::uint32_t host);
  bool StartSaver();
  void AdoptMainWindow(class CParticleWnd* window);

  QPointer<QWidget> mainWindow_;
  std::unique_ptr<HostWindowWatcher> hostWatcher_;
};

}  // namespace vz
