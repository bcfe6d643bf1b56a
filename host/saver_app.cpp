#include "saver_app.h"

#include <QCoreApplication>
#include <cstdio>

#include "particle_wnd.h"
#include "password_calls.h"
#include "run_config_dialog.h"
#include "saver_wnd.h"
#include "x11_host.h"

namespace vz {

CSaverApp::CSaverApp() = default;
CSaverApp::~CSaverApp() = default;

bool CSaverApp::InitInstance(const ParsedCommand& command) {
  switch (command.mode) {
    case Mode::ChangePassword:
      ChangePassword(command.handle);
      return true;
    case Mode::Configure:
      RunConfigDialog(command.handle, command.useForeground);
      return true;
    case Mode::Preview:
      return StartPreview(command.handle);
    case Mode::Saver:
      return StartSaver();
    case Mode::Fail:
      break;
  }
  return false;
}

int CSaverApp::Run() {
  // Configure and password modes have done their work already.
  if (!mainWindow_) return 0;
  return QCoreApplication::exec();
}

void CSaverApp::AdoptMainWindow(CParticleWnd* window) {
  mainWindow_ = window;
  // exit(), not quit(): quit() is ignored while a foreign window object lives.
  QObject::connect(window, &CParticleWnd::windowDestroyed, [this] {
    mainWindow_ = nullptr;
    hostWatcher_.reset();
    QCoreApplication::exit(0);
  });
}

bool CSaverApp::StartPreview(std::uint32_t host) {
  const std::optional<QSize> size = OnX11() ? X11WindowSize(host) : std::nullopt;
  if (!size) {
    std::fprintf(stderr, "vivedaziv: cannot show a preview: %s\n",
                 !OnX11()      ? "the preview needs an X11 display"
                 : host == 0 ? "no host window was given"
                             : "the host window does not exist");
    return false;
  }
  auto* window = new CParticleWnd(true);
  if (!window->Create(0, kStyleChild | kStyleVisible, QRect(QPoint(0, 0), *size),
                      WindowParent{nullptr, host})) {
    return false;
  }
  AdoptMainWindow(window);
  QPointer<CParticleWnd> guard(window);
  hostWatcher_ = std::make_unique<HostWindowWatcher>(
      host,
      [guard](QSize s) {
        if (guard && guard->IsAlive()) guard->setGeometry(0, 0, s.width(), s.height());
      },
      [guard] {
        if (guard) guard->DestroyWindow();
      });
  hostWatcher_->WatchChild(static_cast<std::uint32_t>(window->winId()));
  return true;
}

bool CSaverApp::StartSaver() {
  auto* window = new CSaverWnd;
  // Fails quietly, the object gone, when a saver already runs here.
  if (!window->CreateFullScreen()) return false;
  AdoptMainWindow(window);
  return true;
}

void CSaverApp::RunConfigDialog(std::uint32_t parent, bool useForeground) {
  vz::RunConfigDialog(parent, useForeground);
}

void CSaverApp::ChangePassword(std::uint32_t parent) { vz::ChangePassword(parent); }

}  // namespace vz
