#include "saver_wnd.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <malloc.h>

#include "close_rules.h"
#include "password_calls.h"
#include "x11_lock.h"

namespace vz {


CSaverWnd::CSaverWnd() : CParticleWnd(true), lock_(X11Lock::Open()) {
  // Pointer movement must arrive without a button held.
  setMouseTracking(true);
  connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive) LostActivation();
          });
}

CSaverWnd::~CSaverWnd() = default;

bool CSaverWnd::CreateFullScreen() {
  if (lock_ && !lock_->ClaimSaverSelection()) {
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
    if (lock_) {
      if (exStyle & kExStyleTopmost) FollowPrimaryScreen();
      // Nothing of the desktop may show or take input beside the saver,
      // whatever another program does to its windows: held before the
      // window first shows, so that it shows in its place at once.
      lock_->Hold(static_cast<xcb_window_t>(winId()), exStyle & kExStyleTopmost,
                     {.mayRaise = [this] { return IsAlive(); },
                      .otherScreenInput =
                          [this] {
                            if (IsAlive()) PostCloseRequest();
                          },
                      .rebuild = [this] { return RebuildNativeWindow(); },
                      .restore = [this] { Restore(); }});
    }
    show();
    raise();
    activateWindow();
  }
  return true;
}

void CSaverWnd::PlaceOnPrimaryScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen && IsAlive() && geometry() != screen->geometry()) setGeometry(screen->geometry());
}

void CSaverWnd::Restore() {
  if (!IsAlive()) return;
  PlaceOnPrimaryScreen();
  if (!isActiveWindow()) activateWindow();
}

void CSaverWnd::LostActivation() {
  // Focus lost with a window another client took away is not the user's
  // doing; the window gets it back once repaired.
  if (!IsAlive() || (lock_ && lock_->Interfering())) return;
  PostCloseRequest();
}

void CSaverWnd::FollowPrimaryScreen() {
  auto follow = [this] { PlaceOnPrimaryScreen(); };
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, follow);
  // Any screen may become the primary one, so all are watched.
  auto watch = [this, follow](QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, follow);
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  connect(qGuiApp, &QGuiApplication::screenAdded, this, watch);
}

xcb_window_t CSaverWnd::RebuildNativeWindow() {
  if (!IsAlive()) return XCB_NONE;
  // Qt's window object outlives the X window; it must be made anew, with
  // every native child (the prompt) inside it.
  lock_->ReplacingWindow();
  NativeWindowGoing();
  destroy(true, true);
  create();
  lock_->Adopt(static_cast<xcb_window_t>(winId()));
  show();
  raise();
  activateWindow();
  return static_cast<xcb_window_t>(winId());
}

void CSaverWnd::DropBuffer() {
  // Qt keeps the full-screen image it drew the prompt through for as long as
  // the window lives.
  if (lock_ && IsAlive()) RebuildNativeWindow();
  // What the prompt used is free now; give it back to the system rather than
  // keep it for a prompt that may never come again.
  malloc_trim(0);
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
  if (lock_) lock_->Release();
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
      LostActivation();
      break;
    default:
      break;
  }
  return CParticleWnd::event(event);
}

}  // namespace vz
