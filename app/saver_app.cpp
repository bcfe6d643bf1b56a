#include "saver_app.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "desktop_setting.h"
#include "display_check.h"
#include "instance_lock.h"
#include "particle_wnd.h"
#include "password_calls.h"
#include "run_config_dialog.h"
#include "fast_cover.h"
#include "saver_wnd.h"
#include "signal_exit.h"
#include "wayland_saver.h"
#include "x11_connection.h"
#include "x11_host.h"

namespace vz {

namespace {

// Calls `done` once, after the first paint of the watched widget has been
// handled (and so sent to the display).
class AfterFirstPaint : public QObject {
 public:
  AfterFirstPaint(QWidget* widget, std::function<void()> done)
      : QObject(widget), done_(std::move(done)) {
    widget->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(0, this, [this] {
        done_();
        deleteLater();
      });
    }
    return false;
  }

 private:
  std::function<void()> done_;
};

// Waits until the X server has handled everything sent on Qt's connection.
void SyncX11() {
  if (xcb_connection_t* c = X11Connection()) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  }
}

// The longest the start-up cover stays when the saver never paints.
constexpr int kCoverMaxMs = 3000;

}  // namespace

void CSaverApp::NameApplication(const char* argv0) {
  QCoreApplication::setOrganizationName("Quenfold");
  QCoreApplication::setApplicationName(
      QFileInfo(QString::fromLocal8Bit(argv0 ? argv0 : "vivedaziv")).completeBaseName());
}

std::optional<int> CSaverApp::RunWaylandSaver(int argc, char** argv) {
  std::string problem;
  std::unique_ptr<WaylandSaver> saver = WaylandSaver::Connect(problem);
  if (!saver) {
    NoteWaylandProblem(problem);
    return std::nullopt;
  }
  QCoreApplication app(argc, argv);
  NameApplication(argc > 0 ? argv[0] : nullptr);
  // No Wayland compositor here offers a lock that holds: a key would end a
  // "locked" saver, or another window would come up over it. Better none.
  if (ScreenSaverPasswordEnabled()) {
    std::fprintf(stderr,
                 "vivedaziv: this Wayland session offers no way for the saver to lock the "
                 "screen; use the desktop's own locker (swaylock, for instance)\n");
    return 1;
  }
  problem = saver->Lacking();
  if (!problem.empty()) {
    NoteWaylandProblem(problem);
    return std::nullopt;
  }
  std::unique_ptr<InstanceLock> lock;
  if (InstanceLock::Take(lock) == InstanceLock::Result::HeldElsewhere) return 0;
  return saver->Run();
}

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
  std::string why;
  const std::optional<QSize> size = PreparePreviewHost(host, why);
  const auto refuse = [&] {
    if (X11ConnectionBroken()) {
      std::fprintf(stderr, "vivedaziv: the X display went away\n");
    } else if (host == 0 || !OnX11()) {
      std::fprintf(stderr, "vivedaziv: cannot show a preview: %s\n", why.c_str());
    } else {
      std::fprintf(stderr, "vivedaziv: cannot show a preview in window %u (0x%x): %s\n", host,
                   host, why.c_str());
    }
    return false;
  };
  if (!size) return refuse();
  // Watched from before the preview exists: the host may go at any moment.
  auto* window = new CParticleWnd(true);
  QPointer<CParticleWnd> guard(window);
  hostWatcher_ = std::make_unique<HostWindowWatcher>(
      host,
      [guard](QSize s) {
        if (guard && guard->IsAlive()) guard->SetDeviceGeometry(QRect(QPoint(0, 0), s));
      },
      [guard] {
        if (guard) {
          guard->DestroyWindow();
        } else {
          QCoreApplication::exit(0);
        }
      });
  if (!window->Create(0, kStyleChild | kStyleVisible, QRect(QPoint(0, 0), *size),
                      WindowParent{nullptr, host})) {
    hostWatcher_.reset();
    why = "the window went away, or did not take the preview";
    return refuse();
  }
  AdoptMainWindow(window);
  hostWatcher_->WatchChild(static_cast<std::uint32_t>(window->winId()));
  return true;
}

bool CSaverApp::StartSaver() {
  auto* window = new CSaverWnd;
  // Fails quietly, the object gone, when a saver already runs here.
  if (!window->CreateFullScreen()) {
    fastCover_.reset();
    return false;
  }
  AdoptMainWindow(window);
  if (fastCover_) {
    auto drop = [this] {
      SyncX11();  // the saver's windows are up before the cover goes
      fastCover_.reset();
    };
    new AfterFirstPaint(window, drop);
    QTimer::singleShot(kCoverMaxMs, window, drop);
  }
  return true;
}

void CSaverApp::KeepCoverUntilShown(std::unique_ptr<FastCover> cover) {
  fastCover_ = std::move(cover);
}

void CSaverApp::RunConfigDialog(std::uint32_t parent, bool useForeground) {
  vz::RunConfigDialog(parent, useForeground);
}

void CSaverApp::ChangePassword(std::uint32_t parent) { vz::ChangePassword(parent); }

}  // namespace vz
