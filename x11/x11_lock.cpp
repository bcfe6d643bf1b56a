#include "x11_lock.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "lock_windows.h"
#include "saver_selection.h"

namespace vz {

namespace {

// While anything is not as it should be: how often to try again, and after
// how long the user is told once.
constexpr int kRepairIntervalMs = 50;
constexpr int kRepairNoticeMs = 1000;
// The check that does not rely on events.
constexpr int kCheckIntervalMs = 1000;
// How long focus lost after another client's interference is put down to it.
constexpr int kInterferenceMs = 1000;

// What the saver's window tells beyond what Qt asks for: being obscured,
// unmapped, destroyed, reparented, moved or restacked.
constexpr std::uint32_t kSaverEvents =
    XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

}  // namespace

std::unique_ptr<X11Lock> X11Lock::Open() {
  xcb_connection_t* c = X11Connection();
  if (!c) return nullptr;
  return std::unique_ptr<X11Lock>(new X11Lock(c));
}

X11Lock::X11Lock(xcb_connection_t* c) : c_(c) {
  raiseLater_.setSingleShot(true);
  QObject::connect(&raiseLater_, &QTimer::timeout, [this] { Raise(); });
  repairLater_.setSingleShot(true);
  QObject::connect(&repairLater_, &QTimer::timeout, [this] { Repair(); });
  QObject::connect(&check_, &QTimer::timeout, [this] { Check(); });
  stackCheck_.setSingleShot(true);
  QObject::connect(&stackCheck_, &QTimer::timeout, [this] { CheckStacking(); });
}

X11Lock::~X11Lock() {
  if (qGuiApp && filtering_) qGuiApp->removeNativeEventFilter(this);
  Release();
}

// The check and the take run under a server grab, so two savers started
// together cannot both win. A client that merely owns the selection, holding
// the keyboard or not, is no saver: the screen is locked all the same.
bool X11Lock::ClaimSaverSelection() {
  if (selectionOwner_) return true;
  selection_ = X11Atom(c_, kSaverSelection);
  if (selection_ == XCB_NONE) return true;  // cannot tell; better a saver than none

  const xcb_window_t owner = xcb_generate_id(c_);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  xcb_create_window(c_, 0, owner, screen->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_grab_server(c_);
  const bool vacant = !SaverHoldsScreen(c_, selection_, screen->root);
  if (vacant) xcb_set_selection_owner(c_, owner, selection_, XCB_CURRENT_TIME);
  xcb_ungrab_server(c_);
  if (vacant) {
    selectionOwner_ = owner;
  } else {
    xcb_destroy_window(c_, owner);
  }
  xcb_flush(c_);
  return vacant;
}

void X11Lock::Hold(xcb_window_t saver, bool cover, Callbacks callbacks) {
  callbacks_ = std::move(callbacks);
  holding_ = true;
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, saver), nullptr);
  saverRoot_ = g ? g->root : xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  std::free(g);
  // Input first: nothing typed meanwhile may reach another window.
  blank_ = BlankCursor(c_, saverRoot_);
  Grab();
  shapeEvents_ = ShapeEventBase(c_);
  screens_.clear();
  int number = 0;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem;
       xcb_screen_next(&it), ++number) {
    const xcb_window_t root = it.data->root;
    if (!cover && root != saverRoot_) continue;
    Screen screen{root};
    screen.parent = root;
    screen.broken = cover;
    if (cover) {
      screen.overlay = HoldOverlay(c_, root);
      screen.compositor = X11Atom(c_, ("_NET_WM_CM_S" + std::to_string(number)).c_str());
      if (screen.overlay != XCB_NONE) AddToEventMask(screen.overlay, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    }
    WatchRoot(screen);
    ChooseParent(screen, SaverSelectionOwner(c_, screen.compositor) != XCB_NONE);
    screens_.push_back(screen);
  }
  Adopt(saver);
  if (!filtering_) {
    qGuiApp->installNativeEventFilter(this);
    filtering_ = true;
  }
  check_.start(kCheckIntervalMs);
  Repair();
}

void X11Lock::Adopt(xcb_window_t saver) {
  saver_ = saver;
  const Screen* screen = ScreenOfRoot(saverRoot_);
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, saver), nullptr);
  if (g) {
    saverX_ = g->x;
    saverY_ = g->y;
    saverWidth_ = g->width;
    saverHeight_ = g->height;
    // The overlay lies over the whole root, so positions stay as they are.
    if (screen && screen->parent != saverRoot_) {
      xcb_reparent_window(c_, saver, screen->parent, g->x, g->y);
    }
  }
  std::free(g);
  AddToEventMask(saver, kSaverEvents);
  WatchShape(c_, saver);
  AskNotToComposite(c_, saver);
}

bool X11Lock::Interfering() const {
  return sinceInterference_.isValid() && sinceInterference_.elapsed() < kInterferenceMs;
}

void X11Lock::Repair() {
  if (!holding_ || repairing_) return;
  repairing_ = true;
  const char* trouble = nullptr;
  Grab();
  if (saver_ == XCB_NONE && callbacks_.rebuild) {
    saver_ = callbacks_.rebuild();
    if (saver_ == XCB_NONE) trouble = "the saver's window cannot be shown again";
  }
  for (const Screen& screen : screens_) {
    if (screen.parent != screen.root) xcb_map_window(c_, screen.parent);
  }
  if (saver_ != XCB_NONE) xcb_map_window(c_, saver_);
  if (restore_ && saver_ != XCB_NONE && callbacks_.restore) callbacks_.restore();
  restore_ = false;
  for (Screen& screen : screens_) {
    if (screen.broken) MakeCover(screen);
  }
  // Stacked below the saver before they show, so that no input and no
  // exposure ever reaches them in its place.
  Raise();
  for (const Screen& screen : screens_) {
    if (screen.cover != XCB_NONE) xcb_map_window(c_, screen.cover);
  }
  xcb_flush(c_);
  if (!trouble && !HoldsInput()) trouble = "another program holds the keyboard or pointer";

  if (!trouble) {
    failingSince_.invalidate();
    repairLater_.stop();
  } else {
    if (!failingSince_.isValid()) failingSince_.start();
    if (!troubleReported_ && failingSince_.elapsed() >= kRepairNoticeMs) {
      // Closing still needs the password meanwhile, and whatever covers the
      // screen stays.
      std::fprintf(stderr, "vivedaziv: %s; still trying\n", trouble);
      troubleReported_ = true;
    }
    repairLater_.start(kRepairIntervalMs);
  }
  repairing_ = false;
}

void X11Lock::Release() {
  const bool held = holding_;
  holding_ = false;
  raiseLater_.stop();
  repairLater_.stop();
  stackCheck_.stop();
  check_.stop();
  if (keyboard_) xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
  if (pointer_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  keyboard_ = pointer_ = false;
  saver_ = XCB_NONE;
  for (const Screen& screen : screens_) {
    if (screen.cover != XCB_NONE) xcb_destroy_window(c_, screen.cover);
    if (screen.overlay != XCB_NONE && held) ReleaseOverlay(c_, screen.root);
  }
  screens_.clear();
  if (blank_ != XCB_NONE) xcb_free_cursor(c_, blank_);
  blank_ = XCB_NONE;
  // Destroying the owner window releases the selection.
  if (selectionOwner_) xcb_destroy_window(c_, selectionOwner_);
  selectionOwner_ = XCB_NONE;
  xcb_flush(c_);
  if (probe_) xcb_disconnect(probe_);
  probe_ = nullptr;
}

bool X11Lock::IsOurs(xcb_window_t window) const {
  return window == saver_ || std::any_of(screens_.begin(), screens_.end(), [&](const Screen& s) {
           return s.cover == window;
         });
}

X11Lock::Screen* X11Lock::ScreenOfCover(xcb_window_t window) {
  for (Screen& screen : screens_) {
    if (screen.cover == window) return &screen;
  }
  return nullptr;
}

X11Lock::Screen* X11Lock::ScreenOfRoot(xcb_window_t root) {
  for (Screen& screen : screens_) {
    if (screen.root == root) return &screen;
  }
  return nullptr;
}

void X11Lock::Interfered() {
  sinceInterference_.start();
  if (!repairLater_.isActive() || repairLater_.remainingTime() > 0) repairLater_.start(0);
}

}  // namespace vz
