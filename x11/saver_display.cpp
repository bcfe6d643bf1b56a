#include "saver_display.h"

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

// Raising again at once when obscured could fight another always-above
// window without end; this bounds it.
constexpr int kRaiseIntervalMs = 20;
// While anything is not as it should be: how often to try again, and after
// how long the user is told once.
constexpr int kRepairIntervalMs = 50;
constexpr int kRepairNoticeMs = 1000;
// The check that does not rely on events.
constexpr int kCheckIntervalMs = 1000;
// More changes of other windows than this in a second is a client
// restacking in a loop: its events would cost more than raising against it
// wins, so they are not listened to until the next check.
constexpr int kOtherChangesPerSecond = 200;
// How long focus lost after another client's interference is put down to it.
constexpr int kInterferenceMs = 1000;

// What the saver's window tells beyond what Qt asks for: being obscured,
// unmapped, destroyed, reparented, moved or restacked.
constexpr std::uint32_t kSaverEvents =
    XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

// What the server says of a window, asked for without waiting so that the
// answers for every window come back together.
struct WindowQuery {
  xcb_get_window_attributes_cookie_t attributes;
  xcb_query_tree_cookie_t tree;
  xcb_get_geometry_cookie_t geometry;
  std::optional<xcb_shape_query_extents_cookie_t> shape;
};

struct WindowState {
  bool viewable = false;
  xcb_window_t parent = XCB_NONE;  // none when the window is gone
  int x = 0, y = 0, width = 0, height = 0;
  bool shaped = false;
};

WindowQuery Ask(xcb_connection_t* c, xcb_window_t window) {
  return {xcb_get_window_attributes(c, window), xcb_query_tree(c, window),
          xcb_get_geometry(c, window), AskShape(c, window)};
}

WindowState Answer(xcb_connection_t* c, const WindowQuery& q) {
  auto* a = xcb_get_window_attributes_reply(c, q.attributes, nullptr);
  auto* t = xcb_query_tree_reply(c, q.tree, nullptr);
  auto* g = xcb_get_geometry_reply(c, q.geometry, nullptr);
  WindowState state;
  state.viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
  state.parent = t ? t->parent : xcb_window_t{XCB_NONE};
  if (g) state = {state.viewable, state.parent, g->x, g->y, g->width, g->height};
  state.shaped = IsShaped(c, q.shape);
  std::free(a);
  std::free(t);
  std::free(g);
  return state;
}

// Input events share their layout up to the same-screen flag.
bool IsInput(std::uint8_t type) {
  return type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE || type == XCB_BUTTON_PRESS ||
         type == XCB_BUTTON_RELEASE || type == XCB_MOTION_NOTIFY;
}

}  // namespace

std::unique_ptr<SaverDisplay> SaverDisplay::Open() {
  xcb_connection_t* c = X11Connection();
  if (!c) return nullptr;
  return std::unique_ptr<SaverDisplay>(new SaverDisplay(c));
}

SaverDisplay::SaverDisplay(xcb_connection_t* c) : c_(c) {
  raiseLater_.setSingleShot(true);
  QObject::connect(&raiseLater_, &QTimer::timeout, [this] { Raise(); });
  repairLater_.setSingleShot(true);
  QObject::connect(&repairLater_, &QTimer::timeout, [this] { Repair(); });
  QObject::connect(&check_, &QTimer::timeout, [this] { Check(); });
  stackCheck_.setSingleShot(true);
  QObject::connect(&stackCheck_, &QTimer::timeout, [this] { CheckStacking(); });
}

SaverDisplay::~SaverDisplay() {
  if (qGuiApp && filtering_) qGuiApp->removeNativeEventFilter(this);
  Release();
}

// The check and the take run under a server grab, so two savers started
// together cannot both win. A client that merely owns the selection, holding
// the keyboard or not, is no saver: the screen is locked all the same.
bool SaverDisplay::ClaimSaverSelection() {
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

void SaverDisplay::Hold(xcb_window_t saver, bool cover, Callbacks callbacks) {
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

void SaverDisplay::Adopt(xcb_window_t saver) {
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

void SaverDisplay::ChooseParent(Screen& screen, bool compositing) {
  const xcb_window_t parent =
      screen.overlay != XCB_NONE && !compositing ? screen.overlay : screen.root;
  if (parent == screen.parent) return;
  screen.parent = parent;
  WatchRoot(screen);
  if (screen.cover != XCB_NONE) screen.broken = true;
  if (screen.root == saverRoot_ && saver_ != XCB_NONE) {
    xcb_reparent_window(c_, saver_, parent, saverX_, saverY_);
    restore_ = true;
  }
}

void SaverDisplay::WatchRoot(const Screen& screen) {
  xcb_get_window_attributes_reply_t* a =
      xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, screen.root), nullptr);
  if (!a) return;
  std::uint32_t mask = (a->your_event_mask & ~XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY) |
                       XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  if (screen.parent == screen.root && !deaf_) mask |= XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  std::free(a);
  xcb_change_window_attributes(c_, screen.root, XCB_CW_EVENT_MASK, &mask);
}

bool SaverDisplay::Interfering() const {
  return sinceInterference_.isValid() && sinceInterference_.elapsed() < kInterferenceMs;
}

void SaverDisplay::Repair() {
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
    if (!told_ && failingSince_.elapsed() >= kRepairNoticeMs) {
      // Closing still needs the password meanwhile, and whatever covers the
      // screen stays.
      std::fprintf(stderr, "vivedaziv: %s; still trying\n", trouble);
      told_ = true;
    }
    repairLater_.start(kRepairIntervalMs);
  }
  repairing_ = false;
}

void SaverDisplay::Grab() {
  // Both requests go out before either answer is awaited: one round trip.
  const auto keyboard = keyboard_ ? xcb_grab_keyboard_cookie_t{}
                                  : xcb_grab_keyboard(c_, 0, saverRoot_, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  // Every pointer event comes to us wherever the pointer is, on any screen,
  // with no pointer to be seen.
  const std::uint16_t mask =
      XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
  const auto pointer = pointer_ ? xcb_grab_pointer_cookie_t{}
                                : xcb_grab_pointer(c_, 0, saverRoot_, mask, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC, XCB_NONE, blank_,
                                                   XCB_CURRENT_TIME);
  if (!keyboard_) {
    xcb_grab_keyboard_reply_t* r = xcb_grab_keyboard_reply(c_, keyboard, nullptr);
    keyboard_ = r && r->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(r);
  }
  if (!pointer_) {
    xcb_grab_pointer_reply_t* r = xcb_grab_pointer_reply(c_, pointer, nullptr);
    pointer_ = r && r->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(r);
  }
}

void SaverDisplay::MakeCover(Screen& screen) {
  if (screen.cover != XCB_NONE) xcb_destroy_window(c_, screen.cover);
  screen.cover = XCB_NONE;
  xcb_get_geometry_reply_t* g =
      xcb_get_geometry_reply(c_, xcb_get_geometry(c_, screen.root), nullptr);
  if (!g) return;
  screen.width = g->width;
  screen.height = g->height;
  std::free(g);
  const xcb_screen_t* s = nullptr;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
    if (it.data->root == screen.root) s = it.data;
  }
  if (!s) return;
  const xcb_window_t w = xcb_generate_id(c_);
  const xcb_cursor_t cursor = BlankCursor(c_, screen.root);
  const std::uint32_t values[] = {
      s->black_pixel, 1,
      XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY, cursor};
  xcb_create_window(c_, s->root_depth, w, screen.parent, 0, 0, screen.width, screen.height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                        XCB_CW_CURSOR,
                    values);
  xcb_free_cursor(c_, cursor);
  WatchShape(c_, w);
  AskNotToComposite(c_, w);
  screen.cover = w;
  screen.broken = false;
  if (screen.root == saverRoot_ && selectionOwner_) NameCover(c_, selectionOwner_, selection_, w);
}

void SaverDisplay::Check() {
  if (!holding_ || repairing_) return;
  // Every question first, then every answer: one wait for all of them.
  const std::optional<GrabProbe> probe = AskWhetherGrabsAreOpen();
  std::optional<WindowQuery> saverQuery;
  if (saver_ != XCB_NONE) saverQuery = Ask(c_, saver_);
  std::vector<std::optional<WindowQuery>> coverQueries;
  std::vector<xcb_get_selection_owner_cookie_t> compositors;
  for (const Screen& screen : screens_) {
    coverQueries.push_back(screen.cover != XCB_NONE ? std::optional(Ask(c_, screen.cover))
                                                    : std::nullopt);
    compositors.push_back(xcb_get_selection_owner(c_, screen.compositor));
  }
  xcb_flush(c_);

  bool broken = false;
  if (saverQuery) {
    const WindowState state = Answer(c_, *saverQuery);
    const Screen* screen = ScreenOfRoot(saverRoot_);
    // Gone or somewhere else, it is made anew; unmapped, mapped again.
    if (!screen || state.parent != screen->parent) saver_ = XCB_NONE;
    if (state.shaped) ResetShape(c_, saver_);
    restore_ = restore_ || !state.viewable;
    broken = broken || saver_ == XCB_NONE || !state.viewable;
  }
  for (std::size_t i = 0; i < screens_.size(); ++i) {
    Screen& screen = screens_[i];
    auto* owner = xcb_get_selection_owner_reply(c_, compositors[i], nullptr);
    const bool compositing = owner && owner->owner != XCB_NONE;
    std::free(owner);
    if (!coverQueries[i]) {
      ChooseParent(screen, compositing);
      continue;
    }
    const WindowState state = Answer(c_, *coverQueries[i]);
    if (state.shaped) ResetShape(c_, screen.cover);
    if (!state.viewable || state.parent != screen.parent || state.x != 0 || state.y != 0 ||
        state.width != screen.width || state.height != screen.height) {
      screen.broken = true;
    }
    ChooseParent(screen, compositing);
    broken = broken || screen.broken || restore_;
  }
  if (probe && GrabsWereOpen(*probe)) {
    keyboard_ = pointer_ = false;
    broken = true;
  }
  if (deaf_) {
    deaf_ = false;
    for (const Screen& screen : screens_) WatchRoot(screen);
  }
  // Qt's idea of where the saver belongs, against where it is.
  if (callbacks_.restore && saver_ != XCB_NONE) callbacks_.restore();
  if (broken) {
    Repair();
  } else {
    Raise();
  }
}

std::optional<SaverDisplay::GrabProbe> SaverDisplay::AskWhetherGrabsAreOpen() {
  // Opened only here, off the path that takes the grabs at start.
  if (!probe_) {
    probe_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(probe_)) {
      xcb_disconnect(probe_);
      probe_ = nullptr;
    }
  }
  if (!probe_) return std::nullopt;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(probe_)).data->root;
  GrabProbe probe{xcb_grab_keyboard(probe_, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                    XCB_GRAB_MODE_ASYNC),
                  xcb_grab_pointer(probe_, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                   XCB_NONE, XCB_NONE, XCB_CURRENT_TIME)};
  xcb_flush(probe_);
  return probe;
}

bool SaverDisplay::GrabsWereOpen(const GrabProbe& probe) {
  xcb_grab_keyboard_reply_t* kr = xcb_grab_keyboard_reply(probe_, probe.keyboard, nullptr);
  xcb_grab_pointer_reply_t* pr = xcb_grab_pointer_reply(probe_, probe.pointer, nullptr);
  const bool keyboardOpen = kr && kr->status == XCB_GRAB_STATUS_SUCCESS;
  const bool pointerOpen = pr && pr->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(kr);
  std::free(pr);
  // Taken by the probe: let go at once, for the saver to take.
  if (keyboardOpen) xcb_ungrab_keyboard(probe_, XCB_CURRENT_TIME);
  if (pointerOpen) xcb_ungrab_pointer(probe_, XCB_CURRENT_TIME);
  if (keyboardOpen || pointerOpen) xcb_flush(probe_);
  return keyboardOpen || pointerOpen;
}

// Adds to the mask Qt selected, never replaces it.
void SaverDisplay::AddToEventMask(xcb_window_t window, std::uint32_t events) {
  xcb_get_window_attributes_reply_t* a =
      xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
  if (!a) return;
  const std::uint32_t mask = a->your_event_mask | events;
  std::free(a);
  xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
}

void SaverDisplay::Release() {
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

bool SaverDisplay::IsOurs(xcb_window_t window) const {
  return window == saver_ || std::any_of(screens_.begin(), screens_.end(), [&](const Screen& s) {
           return s.cover == window;
         });
}

SaverDisplay::Screen* SaverDisplay::ScreenOfCover(xcb_window_t window) {
  for (Screen& screen : screens_) {
    if (screen.cover == window) return &screen;
  }
  return nullptr;
}

SaverDisplay::Screen* SaverDisplay::ScreenOfRoot(xcb_window_t root) {
  for (Screen& screen : screens_) {
    if (screen.root == root) return &screen;
  }
  return nullptr;
}

void SaverDisplay::Interfered() {
  sinceInterference_.start();
  if (!repairLater_.isActive() || repairLater_.remainingTime() > 0) repairLater_.start(0);
}

bool SaverDisplay::FilterInput(xcb_generic_event_t* event) {
  // Sent by another client, not typed or moved by the user: never taken.
  if (event->response_type & 0x80) return true;
  auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
  if (e->event != saverRoot_) return false;
  const std::uint8_t type = event->response_type & 0x7F;
  // Through the grab the saver sees the pointer on every screen; on another
  // X screen than its own the event carries no usable position.
  if (!e->same_screen && type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
    if (type != XCB_BUTTON_RELEASE && callbacks_.otherScreenInput) callbacks_.otherScreenInput();
    return true;
  }
  // While the window is being made again, input has nowhere to go.
  if (saver_ == XCB_NONE) return true;
  e->event = saver_;
  e->child = XCB_NONE;
  e->event_x = static_cast<std::int16_t>(e->root_x - saverX_);
  e->event_y = static_cast<std::int16_t>(e->root_y - saverY_);
  return false;
}

bool SaverDisplay::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (!holding_ || eventType != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  const std::uint8_t type = event->response_type & 0x7F;
  if (IsInput(type)) return FilterInput(event);
  if (shapeEvents_ && type == *shapeEvents_ + XCB_SHAPE_NOTIFY) {
    auto* e = reinterpret_cast<xcb_shape_notify_event_t*>(event);
    if (e->shaped && IsOurs(e->affected_window)) {
      ResetShape(c_, e->affected_window);
      xcb_flush(c_);
    }
    return false;
  }
  switch (type) {
    case XCB_VISIBILITY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
      if (IsOurs(e->window) && e->state != XCB_VISIBILITY_UNOBSCURED) RaiseSoon();
      return false;
    }
    case XCB_CONFIGURE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
      if (e->event != e->window) {
        // Another window changed or restacked (watched only outside the
        // overlay).
        if (!IsOurs(e->window)) OtherWindowChanged();
        return false;
      }
      if (Screen* screen = ScreenOfRoot(e->window)) {
        // A screen changed size: its cover follows.
        screen->broken = screen->cover != XCB_NONE;
        Interfered();
      } else if (e->window == saver_) {
        // Moved or resized, by someone else maybe: Qt knows where it
        // belongs.
        if (e->x != saverX_ || e->y != saverY_ || e->width != saverWidth_ ||
            e->height != saverHeight_) {
          saverX_ = e->x;
          saverY_ = e->y;
          saverWidth_ = e->width;
          saverHeight_ = e->height;
          restore_ = true;
          if (!repairLater_.isActive()) repairLater_.start(0);
        }
        stackCheck_.start(0);
      } else if (Screen* s = ScreenOfCover(e->window)) {
        if (e->x != 0 || e->y != 0 || e->width != s->width || e->height != s->height) {
          s->broken = true;
          Interfered();
        }
        stackCheck_.start(0);
      }
      return false;
    }
    // Another window mapped or restacked on a screen (watched only outside
    // the overlay): these events share their layout up to the window.
    case XCB_MAP_NOTIFY:
    case XCB_CIRCULATE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (e->event != e->window && !IsOurs(e->window)) OtherWindowChanged();
      return false;
    }
    // Our own windows, or the overlay, taken away by someone: each is told
    // on the window itself.
    case XCB_UNMAP_NOTIFY: {
      auto* e = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
      if (e->event != e->window) return false;
      if (e->window == saver_) restore_ = true;
      if (IsOurs(e->window) || std::any_of(screens_.begin(), screens_.end(), [&](const Screen& s) {
            return s.parent != s.root && s.parent == e->window;
          })) {
        Interfered();
      }
      return false;
    }
    case XCB_DESTROY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
      if (e->event != e->window) return false;
      if (e->window == saver_) {
        saver_ = XCB_NONE;
        Interfered();
      } else if (Screen* screen = ScreenOfCover(e->window)) {
        screen->cover = XCB_NONE;
        screen->broken = true;
        Interfered();
      }
      return false;
    }
    case XCB_REPARENT_NOTIFY: {
      auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
      if (e->event != e->window) return false;
      const Screen* home = ScreenOfRoot(saverRoot_);
      if (e->window == saver_ && home && e->parent != home->parent) {
        // Made again from scratch; the old window goes with Qt's.
        saver_ = XCB_NONE;
        Interfered();
      } else if (Screen* screen = ScreenOfCover(e->window); screen && e->parent != screen->parent) {
        screen->broken = true;
        Interfered();
      }
      return false;
    }
    // Focus moved by our own grabs is no loss of activation.
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT: {
      auto* e = reinterpret_cast<xcb_focus_in_event_t*>(event);
      return (e->mode == XCB_NOTIFY_MODE_GRAB || e->mode == XCB_NOTIFY_MODE_UNGRAB) &&
             IsOurs(e->event);
    }
    default:
      return false;
  }
}

// Restacked, by someone else maybe: visibility is not told under a
// compositing manager, so the stacking is asked for. Our own raises end here
// too, and find everything in order.
void SaverDisplay::CheckStacking() {
  if (!holding_) return;
  std::vector<xcb_query_tree_cookie_t> trees;
  for (const Screen& screen : screens_) trees.push_back(xcb_query_tree(c_, screen.parent));
  bool inOrder = true;
  for (std::size_t i = 0; i < screens_.size(); ++i) {
    auto* t = xcb_query_tree_reply(c_, trees[i], nullptr);
    const int n = t ? xcb_query_tree_children_length(t) : 0;
    const xcb_window_t* kids = t ? xcb_query_tree_children(t) : nullptr;
    const Screen& screen = screens_[i];
    const bool saverHere = screen.root == saverRoot_ && saver_ != XCB_NONE;
    if (saverHere) {
      inOrder = inOrder && n > 0 && kids[n - 1] == saver_ &&
                (screen.cover == XCB_NONE || (n > 1 && kids[n - 2] == screen.cover));
    } else if (screen.cover != XCB_NONE) {
      inOrder = inOrder && n > 0 && kids[n - 1] == screen.cover;
    }
    std::free(t);
  }
  if (!inOrder) RaiseSoon();
}

void SaverDisplay::OtherWindowChanged() {
  if (!sinceChanges_.isValid() || sinceChanges_.elapsed() >= 1000) {
    sinceChanges_.start();
    changes_ = 0;
  }
  if (++changes_ == kOtherChangesPerSecond) {
    deaf_ = true;
    for (const Screen& screen : screens_) WatchRoot(screen);
  }
  RaiseSoon();
}

void SaverDisplay::RaiseSoon() {
  if (!sinceRaise_.isValid() || sinceRaise_.elapsed() >= kRaiseIntervalMs) {
    Raise();
  } else if (!raiseLater_.isActive()) {
    raiseLater_.start(kRaiseIntervalMs - static_cast<int>(sinceRaise_.elapsed()));
  }
}

void SaverDisplay::Raise() {
  if (!holding_ || (callbacks_.mayRaise && !callbacks_.mayRaise())) return;
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  if (saver_ != XCB_NONE) xcb_configure_window(c_, saver_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  // Each cover right below the saver on its screen, never above it: that
  // would expose, and so restart, the animation.
  for (const Screen& screen : screens_) {
    if (screen.cover == XCB_NONE) continue;
    if (screen.root == saverRoot_ && saver_ != XCB_NONE) {
      const std::uint32_t below[] = {saver_, XCB_STACK_MODE_BELOW};
      xcb_configure_window(c_, screen.cover,
                           XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, below);
    } else {
      xcb_configure_window(c_, screen.cover, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
  }
  xcb_flush(c_);
  sinceRaise_.start();
}

}  // namespace vz
