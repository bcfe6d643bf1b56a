#include "saver_display.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "saver_selection.h"

namespace vz {

namespace {

// Raising again at once when obscured could fight another always-above
// window without end; this bounds it.
constexpr int kRaiseIntervalMs = 100;
// While anything is not as it should be: how often to try again, and after
// how long the user is told once.
constexpr int kRepairIntervalMs = 50;
constexpr int kRepairNoticeMs = 3000;
// The check that does not rely on events.
constexpr int kCheckIntervalMs = 1000;

// What the saver's window tells beyond what Qt asks for: being obscured,
// unmapped, destroyed or reparented, and grabs lost with it.
constexpr std::uint32_t kSaverEvents =
    XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
    XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_LEAVE_WINDOW;

// An invisible pointer for the covers: a 1 × 1 cursor whose mask is empty.
xcb_cursor_t BlankCursor(xcb_connection_t* c, xcb_window_t root) {
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, 1, pixmap, root, 1, 1);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  const std::uint32_t zero = 0;
  xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND, &zero);
  const xcb_rectangle_t all{0, 0, 1, 1};
  xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
  const xcb_cursor_t cursor = xcb_generate_id(c);
  xcb_create_cursor(c, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
  xcb_free_gc(c, gc);
  xcb_free_pixmap(c, pixmap);
  return cursor;
}

const xcb_screen_t* ScreenOf(xcb_connection_t* c, xcb_window_t root) {
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
    if (it.data->root == root) return it.data;
  }
  return nullptr;
}

// What the server says of a window, asked for without waiting so that the
// answers for every window come back together.
struct WindowQuery {
  xcb_get_window_attributes_cookie_t attributes;
  xcb_query_tree_cookie_t tree;
  xcb_get_geometry_cookie_t geometry;
  xcb_get_geometry_cookie_t rootGeometry;
};

struct WindowState {
  bool viewable = false;
  bool childOfRoot = false;  // false also when the window is gone
  bool fillsRoot = false;
};

WindowQuery Ask(xcb_connection_t* c, xcb_window_t window, xcb_window_t root) {
  return {xcb_get_window_attributes(c, window), xcb_query_tree(c, window),
          xcb_get_geometry(c, window), xcb_get_geometry(c, root)};
}

WindowState Answer(xcb_connection_t* c, const WindowQuery& q, xcb_window_t root) {
  auto* a = xcb_get_window_attributes_reply(c, q.attributes, nullptr);
  auto* t = xcb_query_tree_reply(c, q.tree, nullptr);
  auto* g = xcb_get_geometry_reply(c, q.geometry, nullptr);
  auto* r = xcb_get_geometry_reply(c, q.rootGeometry, nullptr);
  WindowState state;
  state.viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
  state.childOfRoot = t && t->parent == root;
  state.fillsRoot = g && r && g->x == 0 && g->y == 0 && g->width == r->width &&
                    g->height == r->height;
  std::free(a);
  std::free(t);
  std::free(g);
  std::free(r);
  return state;
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
}

SaverDisplay::~SaverDisplay() {
  if (qGuiApp && filtering_) qGuiApp->removeNativeEventFilter(this);
  Release();
}

// The check and the take run under a server grab, so two savers started
// together cannot both win.
bool SaverDisplay::ClaimSaverSelection() {
  if (selectionOwner_) return true;
  const xcb_atom_t selection = X11Atom(c_, kSaverSelection);
  if (selection == XCB_NONE) return true;  // cannot tell; better a saver than none

  const xcb_window_t owner = xcb_generate_id(c_);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  xcb_create_window(c_, 0, owner, screen->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_grab_server(c_);
  // An owner that does not hold the keyboard is not a saver that runs.
  const bool vacant = SaverSelectionOwner(c_, selection) == XCB_NONE ||
                      !KeyboardHeld(c_, screen->root);
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

void SaverDisplay::Hold(xcb_window_t saver, bool cover, Callbacks callbacks) {
  callbacks_ = std::move(callbacks);
  holding_ = true;
  saver_ = saver;
  // Input first: nothing typed meanwhile may reach another window.
  Grab(saver_);
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, saver), nullptr);
  saverRoot_ = g ? g->root : xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  std::free(g);
  covers_.clear();
  if (cover) {
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
      covers_.push_back(Cover{it.data->root});
    }
  }
  // Told of every window mapped or restacked on any screen, of a screen
  // changing size, and of anything done to the saver's window.
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
    AddToEventMask(it.data->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
  }
  AddToEventMask(saver_, kSaverEvents);
  if (!filtering_) {
    qGuiApp->installNativeEventFilter(this);
    filtering_ = true;
  }
  check_.start(kCheckIntervalMs);
  Repair();
}

void SaverDisplay::Repair() {
  if (!holding_ || repairing_) return;
  repairing_ = true;
  const char* trouble = nullptr;
  if (saver_ == XCB_NONE && callbacks_.rebuild) {
    keyboard_ = pointer_ = false;
    saver_ = callbacks_.rebuild();
    if (saver_ != XCB_NONE) {
      AddToEventMask(saver_, kSaverEvents);
    } else {
      trouble = "the saver's window cannot be shown again";
    }
  }
  // Input first: nothing typed meanwhile may reach another window.
  if (saver_ != XCB_NONE) {
    xcb_map_window(c_, saver_);
    Grab(saver_);
  }
  for (Cover& cover : covers_) {
    if (cover.broken) MakeCover(cover);
  }
  // Stacked below the saver before they show, so that no input and no
  // exposure ever reaches them in its place.
  Raise();
  for (const Cover& cover : covers_) {
    if (cover.window != XCB_NONE) xcb_map_window(c_, cover.window);
  }
  // Without its own window the saver holds input through the cover of its
  // screen.
  for (const Cover& cover : covers_) {
    if (saver_ == XCB_NONE && cover.root == saverRoot_ && cover.window != XCB_NONE) {
      Grab(cover.window);
    }
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

void SaverDisplay::Grab(xcb_window_t window) {
  if (window != grabWindow_) keyboard_ = pointer_ = false;
  grabWindow_ = window;
  // Both requests go out before either answer is awaited: one round trip.
  const auto keyboard = keyboard_ ? xcb_grab_keyboard_cookie_t{}
                                  : xcb_grab_keyboard(c_, 0, window, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  // All pointer events go to the saver wherever the pointer is, on any
  // screen; no cursor of its own, so the window's blank one shows.
  const std::uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                             XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                             XCB_EVENT_MASK_LEAVE_WINDOW;
  const auto pointer = pointer_ ? xcb_grab_pointer_cookie_t{}
                                : xcb_grab_pointer(c_, 0, window, mask, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
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

void SaverDisplay::MakeCover(Cover& cover) {
  if (cover.window != XCB_NONE) xcb_destroy_window(c_, cover.window);
  cover.window = XCB_NONE;
  const xcb_screen_t* screen = ScreenOf(c_, cover.root);
  xcb_get_geometry_reply_t* g =
      xcb_get_geometry_reply(c_, xcb_get_geometry(c_, cover.root), nullptr);
  if (!screen || !g) {
    std::free(g);
    return;
  }
  const xcb_window_t w = xcb_generate_id(c_);
  const xcb_cursor_t cursor = BlankCursor(c_, screen->root);
  const std::uint32_t values[] = {
      screen->black_pixel, 1,
      XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY, cursor};
  xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, g->width, g->height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                        XCB_CW_CURSOR,
                    values);
  std::free(g);
  xcb_free_cursor(c_, cursor);
  cover.window = w;
  cover.broken = false;
}

void SaverDisplay::Check() {
  if (!holding_ || repairing_) return;
  // Every question first, then every answer: one wait for all of them.
  const std::optional<GrabProbe> probe = AskWhetherGrabsAreOpen();
  std::optional<WindowQuery> saverQuery;
  if (saver_ != XCB_NONE) saverQuery = Ask(c_, saver_, saverRoot_);
  std::vector<std::optional<WindowQuery>> coverQueries;
  for (const Cover& cover : covers_) {
    coverQueries.push_back(cover.window != XCB_NONE
                               ? std::optional(Ask(c_, cover.window, cover.root))
                               : std::nullopt);
  }
  xcb_flush(c_);

  bool broken = false;
  if (saverQuery) {
    const WindowState state = Answer(c_, *saverQuery, saverRoot_);
    // Gone or somewhere else, it is made anew; unmapped, mapped again.
    if (!state.childOfRoot) saver_ = XCB_NONE;
    broken = broken || !state.childOfRoot || !state.viewable;
  }
  for (std::size_t i = 0; i < covers_.size(); ++i) {
    Cover& cover = covers_[i];
    const bool inPlace = coverQueries[i] && [&] {
      const WindowState state = Answer(c_, *coverQueries[i], cover.root);
      return state.viewable && state.childOfRoot && state.fillsRoot;
    }();
    if (!inPlace) {
      cover.broken = true;
      broken = true;
    }
  }
  if (probe && GrabsWereOpen(*probe)) {
    keyboard_ = pointer_ = false;
    broken = true;
  }
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
  holding_ = false;
  raiseLater_.stop();
  repairLater_.stop();
  check_.stop();
  if (keyboard_) xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
  if (pointer_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  keyboard_ = pointer_ = false;
  grabWindow_ = XCB_NONE;
  saver_ = XCB_NONE;
  for (const Cover& cover : covers_) {
    if (cover.window != XCB_NONE) xcb_destroy_window(c_, cover.window);
  }
  covers_.clear();
  // Destroying the owner window releases the selection.
  if (selectionOwner_) xcb_destroy_window(c_, selectionOwner_);
  selectionOwner_ = XCB_NONE;
  xcb_flush(c_);
  if (probe_) xcb_disconnect(probe_);
  probe_ = nullptr;
}

bool SaverDisplay::IsOurs(xcb_window_t window) const {
  if (window == saver_) return true;
  for (const Cover& cover : covers_) {
    if (cover.window == window) return true;
  }
  return false;
}

SaverDisplay::Cover* SaverDisplay::CoverFor(xcb_window_t window) {
  for (Cover& cover : covers_) {
    if (cover.window == window) return &cover;
  }
  return nullptr;
}

void SaverDisplay::Interfered() {
  // The server drops the grabs with a window that stops being viewable.
  keyboard_ = pointer_ = false;
  if (!repairLater_.isActive() || repairLater_.remainingTime() > 0) repairLater_.start(0);
}

bool SaverDisplay::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (!holding_ || eventType != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  switch (event->response_type & 0x7F) {
    case XCB_VISIBILITY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
      if (IsOurs(e->window) && e->state != XCB_VISIBILITY_UNOBSCURED) RaiseSoon();
      return false;
    }
    case XCB_CONFIGURE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
      // A screen changed size: its cover follows.
      if (e->event == e->window) {
        for (Cover& cover : covers_) {
          if (cover.root == e->window) {
            cover.broken = true;
            Interfered();
          }
        }
        return false;
      }
      if (!IsOurs(e->window)) RaiseSoon();
      return false;
    }
    // Another window mapped or restacked on a screen: these events share
    // their layout up to the window concerned.
    case XCB_MAP_NOTIFY:
    case XCB_CIRCULATE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (e->event != e->window && !IsOurs(e->window)) RaiseSoon();
      return false;
    }
    // Our own windows taken away by someone: each is told on the window
    // itself.
    case XCB_UNMAP_NOTIFY: {
      auto* e = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
      if (e->event == e->window && IsOurs(e->window)) Interfered();
      return false;
    }
    case XCB_DESTROY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
      if (e->event != e->window) return false;
      if (e->window == saver_) {
        saver_ = XCB_NONE;
        Interfered();
      } else if (Cover* cover = CoverFor(e->window)) {
        cover->window = XCB_NONE;
        cover->broken = true;
        Interfered();
      }
      return false;
    }
    case XCB_REPARENT_NOTIFY: {
      auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
      if (e->event != e->window) return false;
      if (e->window == saver_ && e->parent != saverRoot_) {
        // Made again from scratch; the old window goes with Qt's.
        saver_ = XCB_NONE;
        Interfered();
      } else if (Cover* cover = CoverFor(e->window); cover && e->parent != cover->root) {
        cover->broken = true;
        Interfered();
      }
      return false;
    }
    // The server reports grabs lost with the window that held them.
    case XCB_FOCUS_OUT: {
      auto* e = reinterpret_cast<xcb_focus_out_event_t*>(event);
      if (e->mode == XCB_NOTIFY_MODE_UNGRAB && e->event == grabWindow_) Interfered();
      return false;
    }
    case XCB_LEAVE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(event);
      if (e->mode == XCB_NOTIFY_MODE_UNGRAB && e->event == grabWindow_) Interfered();
      return false;
    }
    // Through the grab the saver sees the pointer on every screen; on another
    // X screen than its own the event carries no usable position, and Qt
    // would take it for one inside the window.
    case XCB_MOTION_NOTIFY: {
      auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(event);
      if (e->same_screen) return false;
      if (callbacks_.otherScreenInput) callbacks_.otherScreenInput();
      return true;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
      auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
      if (e->same_screen) return false;
      if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS && callbacks_.otherScreenInput) {
        callbacks_.otherScreenInput();
      }
      return true;
    }
    default:
      return false;
  }
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
  for (const Cover& cover : covers_) {
    if (cover.window == XCB_NONE) continue;
    if (cover.root == saverRoot_ && saver_ != XCB_NONE) {
      const std::uint32_t below[] = {saver_, XCB_STACK_MODE_BELOW};
      xcb_configure_window(c_, cover.window,
                           XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, below);
    } else {
      xcb_configure_window(c_, cover.window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
  }
  xcb_flush(c_);
  sinceRaise_.start();
}

}  // namespace vz
