// What the X server tells the lock, and what each event makes it do.
#include "x11_lock.h"

#include <cstdlib>
#include <algorithm>

#include "lock_windows.h"

namespace vz {

namespace {

// Input events share their layout up to the same-screen flag.
bool IsInput(std::uint8_t type) {
  return type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE || type == XCB_BUTTON_PRESS ||
         type == XCB_BUTTON_RELEASE || type == XCB_MOTION_NOTIFY;
}

}  // namespace

bool X11Lock::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
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
    case XCB_CONFIGURE_NOTIFY:
      OnConfigure(*reinterpret_cast<xcb_configure_notify_event_t*>(event));
      return false;
    // Another window mapped or restacked on a screen (watched only outside
    // the overlay): these events share their layout up to the window.
    case XCB_MAP_NOTIFY:
    case XCB_CIRCULATE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (e->event != e->window && !IsOurs(e->window)) OtherWindowChanged();
      return false;
    }
    case XCB_UNMAP_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_REPARENT_NOTIFY:
      OnTakenAway(type, event);
      return false;
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

void X11Lock::OnConfigure(const xcb_configure_notify_event_t& e) {
  if (e.event != e.window) {
    // Another window changed or restacked (watched only outside the
    // overlay).
    if (!IsOurs(e.window)) OtherWindowChanged();
    return;
  }
  if (Screen* screen = ScreenOfRoot(e.window)) {
    // A screen changed size: its cover follows.
    screen->broken = screen->cover != XCB_NONE;
    Interfered();
  } else if (e.window == saver_) {
    // Moved or resized, by someone else maybe: Qt knows where it belongs.
    if (e.x != saverX_ || e.y != saverY_ || e.width != saverWidth_ ||
        e.height != saverHeight_) {
      saverX_ = e.x;
      saverY_ = e.y;
      saverWidth_ = e.width;
      saverHeight_ = e.height;
      restore_ = true;
      if (!repairLater_.isActive()) repairLater_.start(0);
    }
    stackCheck_.start(0);
  } else if (Screen* s = ScreenOfCover(e.window)) {
    if (e.x != 0 || e.y != 0 || e.width != s->width || e.height != s->height) {
      s->broken = true;
      Interfered();
    }
    stackCheck_.start(0);
  }
}

// Our own windows, or the overlay, unmapped, destroyed or reparented by
// someone: each is told on the window itself. These events share their
// layout up to the window concerned.
void X11Lock::OnTakenAway(std::uint8_t type, const xcb_generic_event_t* event) {
  const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(event);
  if (e->event != e->window) return;
  Screen* cover = ScreenOfCover(e->window);
  if (type == XCB_UNMAP_NOTIFY) {
    if (e->window == saver_) restore_ = true;
    const bool overlay = std::any_of(screens_.begin(), screens_.end(), [&](const Screen& s) {
      return s.parent != s.root && s.parent == e->window;
    });
    if (IsOurs(e->window) || overlay) Interfered();
  } else if (type == XCB_DESTROY_NOTIFY) {
    if (e->window == saver_) {
      saver_ = XCB_NONE;
      Interfered();
    } else if (cover) {
      cover->cover = XCB_NONE;
      cover->broken = true;
      Interfered();
    }
  } else {
    const auto* r = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
    const Screen* home = ScreenOfRoot(saverRoot_);
    if (r->window == saver_ && home && r->parent != home->parent) {
      // Made again from scratch; the old window goes with Qt's.
      saver_ = XCB_NONE;
      Interfered();
    } else if (cover && r->parent != cover->parent) {
      cover->broken = true;
      Interfered();
    }
  }
}

}  // namespace vz
