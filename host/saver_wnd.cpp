#include "saver_wnd.h"

#include <QAbstractNativeEventFilter>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "password_calls.h"
#include "x11_connection.h"

namespace vz {

namespace {

// The selection a running saver owns, so that a second one on the same
// display does nothing.
constexpr char kSaverSelection[] = "_VIVEDAZIV_SAVER";

// Grab attempts while another client holds the keyboard or the pointer
// (a menu left open, a drag in progress): every 50 ms for 3 s.
constexpr int kGrabIntervalMs = 50;
constexpr int kGrabAttempts = 60;

// Raising again at once when obscured could fight another always-above
// window without end; this bounds it.
constexpr int kRaiseIntervalMs = 100;

}  // namespace

// What the saver needs from the X server beyond what Qt offers: the
// display-wide selection of a running saver, input grabs, and staying above
// windows mapped after it.
class SaverDisplay : public QAbstractNativeEventFilter {
 public:
  // Nothing when the program does not run on X11.
  static std::unique_ptr<SaverDisplay> Open() {
    xcb_connection_t* c = X11Connection();
    if (!c) return nullptr;
    return std::unique_ptr<SaverDisplay>(new SaverDisplay(c));
  }

  ~SaverDisplay() override {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
    Release();
  }

  // Takes the saver selection unless another client owns it. The check and
  // the take run under a server grab, so two savers started together cannot
  // both win.
  bool ClaimSaverSelection() {
    if (selectionOwner_) return true;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, sizeof kSaverSelection - 1, kSaverSelection), nullptr);
    if (!atom) return true;  // cannot tell; better a saver than none
    const xcb_atom_t selection = atom->atom;
    std::free(atom);

    const xcb_window_t owner = xcb_generate_id(c_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    xcb_create_window(c_, 0, owner, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_grab_server(c_);
    xcb_get_selection_owner_reply_t* current =
        xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, selection), nullptr);
    const bool vacant = current && current->owner == XCB_NONE;
    std::free(current);
    if (vacant) xcb_set_selection_owner(c_, owner, selection, XCB_CURRENT_TIME);
    xcb_ungrab_server(c_);
    if (vacant) {
      selectionOwner_ = owner;
    } else {
      xcb_destroy_window(c_, owner);
    }
    xcb_flush(c_);
    return vacant;
  }

  // Grabs for `window` whatever is not held yet; true when both are held.
  bool Grab(xcb_window_t window) {
    if (!keyboard_) {
      xcb_grab_keyboard_reply_t* r = xcb_grab_keyboard_reply(
          c_,
          xcb_grab_keyboard(c_, 0, window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                            XCB_GRAB_MODE_ASYNC),
          nullptr);
      keyboard_ = r && r->status == XCB_GRAB_STATUS_SUCCESS;
      std::free(r);
    }
    if (!pointer_) {
      // All pointer events go to the saver wherever the pointer is; no
      // cursor of its own, so the window's blank one shows.
      const std::uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                 XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                                 XCB_EVENT_MASK_LEAVE_WINDOW;
      xcb_grab_pointer_reply_t* r = xcb_grab_pointer_reply(
          c_,
          xcb_grab_pointer(c_, 0, window, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                           XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
          nullptr);
      pointer_ = r && r->status == XCB_GRAB_STATUS_SUCCESS;
      std::free(r);
    }
    return HoldsInput();
  }

  // Forget the grabs so the next Grab takes them afresh.
  void ForgetGrabs() { keyboard_ = pointer_ = false; }
  bool HoldsInput() const { return keyboard_ && pointer_; }

  // Raises `window` whenever something covers it and mayRaise agrees.
  void KeepAbove(xcb_window_t window, std::function<bool()> mayRaise) {
    above_ = window;
    mayRaise_ = std::move(mayRaise);
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
    if (!a) return;
    // Add to the mask Qt selected, never replace it.
    const std::uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(a);
    xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c_);
    if (!filtering_) {
      qGuiApp->installNativeEventFilter(this);
      filtering_ = true;
    }
  }

  // Lets go of the keyboard and the pointer.
  void Ungrab() {
    if (keyboard_) xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
    if (pointer_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
    keyboard_ = pointer_ = false;
    xcb_flush(c_);
  }

  // Ungrabs, stops keeping above and gives up the saver selection.
  void Release() {
    raiseLater_.stop();
    above_ = XCB_NONE;
    Ungrab();
    // Destroying the owner window releases the selection.
    if (selectionOwner_) xcb_destroy_window(c_, selectionOwner_);
    selectionOwner_ = XCB_NONE;
    xcb_flush(c_);
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (above_ == XCB_NONE || eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY) return false;
    auto* e = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
    if (e->window != above_ || e->state == XCB_VISIBILITY_UNOBSCURED) return false;
    if (!sinceRaise_.isValid() || sinceRaise_.elapsed() >= kRaiseIntervalMs) {
      Raise();
    } else if (!raiseLater_.isActive()) {
      raiseLater_.start(kRaiseIntervalMs - static_cast<int>(sinceRaise_.elapsed()));
    }
    return false;
  }

 private:
  explicit SaverDisplay(xcb_connection_t* c) : c_(c) {
    raiseLater_.setSingleShot(true);
    QObject::connect(&raiseLater_, &QTimer::timeout, [this] { Raise(); });
  }

  void Raise() {
    if (above_ == XCB_NONE || (mayRaise_ && !mayRaise_())) return;
    const std::uint32_t mode = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, above_, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    xcb_flush(c_);
    sinceRaise_.start();
  }

  xcb_connection_t* c_;
  xcb_window_t selectionOwner_ = XCB_NONE;
  xcb_window_t above_ = XCB_NONE;
  std::function<bool()> mayRaise_;
  bool keyboard_ = false;
  bool pointer_ = false;
  bool filtering_ = false;
  QElapsedTimer sinceRaise_;
  QTimer raiseLater_;
};

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
      if (exStyle & kExStyleTopmost) {
        // A prompt of our own shown while verifying must not be covered.
        display_->KeepAbove(static_cast<xcb_window_t>(winId()),
                            [this] { return IsAlive() && !verifying; });
      }
      RegrabInput();
    }
  }
  return true;
}

void CSaverWnd::RegrabInput() {
  if (!display_ || !IsAlive()) return;
  display_->ForgetGrabs();
  grabAttemptsLeft_ = kGrabAttempts;
  grabRetry_.start();
  TryGrabs();
}

bool CSaverWnd::HoldsInput() const { return display_ && display_->HoldsInput(); }

void CSaverWnd::TryGrabs() {
  if (!display_ || !IsAlive()) {
    grabRetry_.stop();
    return;
  }
  if (display_->Grab(static_cast<xcb_window_t>(winId()))) {
    grabRetry_.stop();
    return;
  }
  if (--grabAttemptsLeft_ <= 0) {
    grabRetry_.stop();
    // Keys and clicks still reach the saver while it has the focus.
    std::fprintf(stderr, "vivedaziv: another program holds the keyboard or pointer\n");
  }
}

void CSaverWnd::PostCloseRequest() { QCoreApplication::postEvent(this, new QCloseEvent); }

bool CSaverWnd::ignoreNextClose = false;

void CSaverWnd::OnCloseRequest() {
  if (verifying || ignoreNextClose) {
    ignoreNextClose = false;
    return;
  }
  // Whatever the check shows (the prompt, or an error box) must be visible
  // and usable above the saver: stop raising over it and let go of the input
  // until it is done.
  verifying = true;
  grabRetry_.stop();
  if (display_) display_->Ungrab();
  if (CheckPasswordBeforeClose(static_cast<unsigned long>(winId()), verifying)) {
    DestroyWindow();
    return;
  }
  // Refused: the saver stays, restarts on black, and lets the request that
  // the prompt's own closing tends to cause go by.
  verifying = false;
  ignoreNextClose = true;
  InvalidateAll();
  RegrabInput();
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
      if (lastMouseX == -1 && lastMouseY == -1) {
        lastMouseX = x;
        lastMouseY = y;
      } else if (x != lastMouseX || y != lastMouseY) {
        PostCloseRequest();
      }
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
