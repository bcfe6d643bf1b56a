#include "saver_wnd.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <cstdio>
#include <vector>

#include "close_rules.h"
#include "password_calls.h"
#include "saver_display.h"

namespace vz {

namespace {

// Grab attempts while another client holds the keyboard or the pointer (a
// menu left open, a drag in progress): every 50 ms for as long as the saver
// runs; after 3 s the user is told once.
constexpr int kGrabIntervalMs = 50;
constexpr int kGrabAttemptsBeforeNotice = 60;

// The other monitors of the saver's screen, which it does not cover itself
// (a mirrored one shows what the saver shows).
std::vector<QRect> OtherMonitors(const QScreen* primary) {
  std::vector<QRect> monitors;
  if (!primary) return monitors;
  for (const QScreen* screen : primary->virtualSiblings()) {
    if (screen != primary && !primary->geometry().contains(screen->geometry())) {
      monitors.push_back(screen->geometry());
    }
  }
  return monitors;
}

}  // namespace

CSaverWnd::CSaverWnd() : CParticleWnd(true), display_(SaverDisplay::Open()) {
  // Pointer movement must arrive without a button held.
  setMouseTracking(true);
  grabRetry_.setInterval(kGrabIntervalMs);
  connect(&grabRetry_, &QTimer::timeout, this, &CSaverWnd::TryGrabs);
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive && IsAlive()) PostCloseRequest();
          });
}

CSaverWnd::~CSaverWnd() = default;

bool CSaverWnd::CreateFullScreen() {
  if (display_ && !display_->ClaimSaverSelection()) {
    // A saver already runs on this display: starting another is a no-op.
    if (AutoDelete()) delete this;
    return false;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect rect = screen ? screen->geometry() : QRect();
  return Create(kExStyleTopmost, kStylePopup | kStyleVisible, rect, {});
}

bool CSaverWnd::Create(std::uint32_t exStyle, std::uint32_t style, const QRect& rect,
                       const WindowParent& parent) {
  // A shown window cannot become override-redirect, so show only once the
  // flags are complete.
  if (!CParticleWnd::Create(exStyle, style & ~kStyleVisible, rect, parent)) return false;
  if (exStyle & kExStyleTopmost) {
    // Without a window manager "stay on top" does nothing, and a manager may
    // stack panels or new windows above a managed one; an override-redirect
    // window is stacked by us alone.
    setWindowFlag(Qt::X11BypassWindowManagerHint);
  }
  if (style & kStyleVisible) {
    show();
    activateWindow();
    if (display_) {
      raise();
      const auto window = static_cast<xcb_window_t>(winId());
      if (exStyle & kExStyleTopmost) {
        // Nothing of the desktop may show or take input beside the saver.
        display_->CoverOtherScreens(window, OtherMonitors(QGuiApplication::primaryScreen()));
        display_->KeepAbove(
            window, [this] { return IsAlive(); },
            [this] {
              if (IsAlive()) PostCloseRequest();
            });
      }
      grabAttempts_ = 0;
      grabRetry_.start();
      TryGrabs();
    }
  }
  return true;
}

void CSaverWnd::TryGrabs() {
  if (!display_ || !IsAlive()) {
    grabRetry_.stop();
    return;
  }
  if (display_->Grab(static_cast<xcb_window_t>(winId()))) {
    grabRetry_.stop();
    return;
  }
  if (++grabAttempts_ == kGrabAttemptsBeforeNotice) {
    // Keys and clicks still reach the saver while it has the focus, and it
    // still closes only through the password check.
    std::fprintf(stderr,
                 "vivedaziv: another program holds the keyboard or pointer; still trying\n");
  }
}

void CSaverWnd::PostCloseRequest() { QCoreApplication::postEvent(this, new QCloseEvent); }

bool CSaverWnd::ignoreNextClose = false;

void CSaverWnd::OnCloseRequest() {
  if (verifying || ignoreNextClose) {
    ignoreNextClose = false;
    return;
  }
  // Whatever the check shows (the prompt, or an error box) is drawn inside
  // this window, so the grabs and the stacking stay as they are throughout.
  verifying = true;
  if (CheckPasswordBeforeClose(static_cast<unsigned long>(winId()), verifying)) {
    DestroyWindow();
    return;
  }
  // Refused: the saver stays, restarts on black, and lets the request that
  // the prompt's own closing tends to cause go by.
  verifying = false;
  ignoreNextClose = true;
  InvalidateAll();
}

void CSaverWnd::OnDestroy() {
  grabRetry_.stop();
  if (display_) display_->Release();
  // exit(), not quit(): quit() may be refused while windows remain.
  QCoreApplication::exit(0);
}

void CSaverWnd::closeEvent(QCloseEvent* event) {
  // A spontaneous close comes from the window manager (close button, window
  // menu), not from the user at the saver: ignore it. Our own requests are
  // posted, so never spontaneous.
  if (event->spontaneous() || !IsAlive()) {
    event->ignore();
    return;
  }
  OnCloseRequest();
  event->setAccepted(!IsAlive());
}

bool CSaverWnd::event(QEvent* event) {
  switch (event->type()) {
    // Handled here, before QWidget can take Tab for focus changes.
    case QEvent::KeyPress:
      PostCloseRequest();
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      const Qt::MouseButton b = static_cast<QMouseEvent*>(event)->button();
      if (b == Qt::LeftButton || b == Qt::MiddleButton || b == Qt::RightButton) {
        PostCloseRequest();
      }
      break;
    }
    case QEvent::MouseMove: {
      const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
      const std::int32_t x = static_cast<std::int16_t>(p.x());
      const std::int32_t y = static_cast<std::int16_t>(p.y());
      if (PointerMovedAway(lastMouseX, lastMouseY, x, y)) PostCloseRequest();
      break;
    }
    case QEvent::WindowDeactivate:
      PostCloseRequest();
      break;
    default:
      break;
  }
  return CParticleWnd::event(event);
}

}  // namespace vz
