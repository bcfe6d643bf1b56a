#include "saver_display.h"

#include <QGuiApplication>
#include <cstdlib>

#include "saver_selection.h"

namespace vz {

namespace {

// Raising again at once when obscured could fight another always-above
// window without end; this bounds it.
constexpr int kRaiseIntervalMs = 100;

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

}  // namespace

std::unique_ptr<SaverDisplay> SaverDisplay::Open() {
  xcb_connection_t* c = X11Connection();
  if (!c) return nullptr;
  return std::unique_ptr<SaverDisplay>(new SaverDisplay(c));
}

SaverDisplay::SaverDisplay(xcb_connection_t* c) : c_(c) {
  raiseLater_.setSingleShot(true);
  QObject::connect(&raiseLater_, &QTimer::timeout, [this] { Raise(); });
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

bool SaverDisplay::Grab(xcb_window_t window) {
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
  return HoldsInput();
}

void SaverDisplay::CoverOtherScreens(xcb_window_t saver, const std::vector<QRect>& monitors) {
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, saver), nullptr);
  if (!g) return;
  const xcb_window_t saverRoot = g->root;
  std::free(g);

  auto cover = [this](const xcb_screen_t* screen, const QRect& r) {
    const xcb_window_t w = xcb_generate_id(c_);
    const xcb_cursor_t cursor = BlankCursor(c_, screen->root);
    const std::uint32_t values[] = {screen->black_pixel, 1, XCB_EVENT_MASK_VISIBILITY_CHANGE,
                                    cursor};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen->root, static_cast<std::int16_t>(r.x()),
                      static_cast<std::int16_t>(r.y()), static_cast<std::uint16_t>(r.width()),
                      static_cast<std::uint16_t>(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                          XCB_CW_CURSOR,
                      values);
    xcb_free_cursor(c_, cursor);
    xcb_map_window(c_, w);
    covers_.push_back(w);
  };
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
    const xcb_screen_t* screen = it.data;
    if (screen->root != saverRoot) {
      cover(screen, QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
    } else {
      for (const QRect& r : monitors) {
        if (!r.isEmpty()) cover(screen, r);
      }
    }
  }
  xcb_flush(c_);
}

void SaverDisplay::KeepAbove(xcb_window_t window, std::function<bool()> mayRaise,
                             std::function<void()> otherScreenInput) {
  above_ = window;
  mayRaise_ = std::move(mayRaise);
  otherScreenInput_ = std::move(otherScreenInput);
  // Told of every window mapped or restacked on any screen, and of being
  // obscured: a window manager's frame may land above without obscuring
  // more than something already did, so visibility alone is not enough.
  AddToEventMask(window, XCB_EVENT_MASK_VISIBILITY_CHANGE);
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c_)); it.rem; xcb_screen_next(&it)) {
    AddToEventMask(it.data->root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
  }
  xcb_flush(c_);
  if (!filtering_) {
    qGuiApp->installNativeEventFilter(this);
    filtering_ = true;
  }
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
  raiseLater_.stop();
  above_ = XCB_NONE;
  if (keyboard_) xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
  if (pointer_) xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
  keyboard_ = pointer_ = false;
  for (xcb_window_t w : covers_) xcb_destroy_window(c_, w);
  covers_.clear();
  // Destroying the owner window releases the selection.
  if (selectionOwner_) xcb_destroy_window(c_, selectionOwner_);
  selectionOwner_ = XCB_NONE;
  xcb_flush(c_);
}

bool SaverDisplay::IsOurs(xcb_window_t window) const {
  if (window == above_) return true;
  for (xcb_window_t w : covers_) {
    if (w == window) return true;
  }
  return false;
}

bool SaverDisplay::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (above_ == XCB_NONE || eventType != "xcb_generic_event_t") return false;
  auto* event = static_cast<xcb_generic_event_t*>(message);
  switch (event->response_type & 0x7F) {
    case XCB_VISIBILITY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
      if (IsOurs(e->window) && e->state != XCB_VISIBILITY_UNOBSCURED) RaiseSoon();
      return false;
    }
    // Another window mapped or restacked on a screen: these three events
    // share their layout up to the window concerned.
    case XCB_MAP_NOTIFY:
    case XCB_CONFIGURE_NOTIFY:
    case XCB_CIRCULATE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (e->event != e->window && !IsOurs(e->window)) RaiseSoon();
      return false;
    }
    // Through the grab the saver sees the pointer on every screen; on another
    // X screen than its own the event carries no usable position, and Qt
    // would take it for one inside the window.
    case XCB_MOTION_NOTIFY: {
      auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(event);
      if (e->same_screen) return false;
      if (otherScreenInput_) otherScreenInput_();
      return true;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
      auto* e = reinterpret_cast<xcb_button_press_event_t*>(event);
      if (e->same_screen) return false;
      if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS && otherScreenInput_) {
        otherScreenInput_();
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
  if (above_ == XCB_NONE || (mayRaise_ && !mayRaise_())) return;
  const std::uint32_t mode = XCB_STACK_MODE_ABOVE;
  // The saver last: it stays the topmost of them all.
  for (xcb_window_t w : covers_) xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
  xcb_configure_window(c_, above_, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
  xcb_flush(c_);
  sinceRaise_.start();
}

}  // namespace vz
