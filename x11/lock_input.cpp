// The lock's input: both grabs on the root window, the probe that tells
// whether another client could take them, and input handed to the saver's
// window.
#include "x11_lock.h"

#include <cstdlib>

namespace vz {

void X11Lock::Grab() {
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

std::optional<X11Lock::GrabProbe> X11Lock::AskWhetherGrabsAreOpen() {
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

bool X11Lock::GrabsWereOpen(const GrabProbe& probe) {
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

bool X11Lock::FilterInput(xcb_generic_event_t* event) {
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

}  // namespace vz
