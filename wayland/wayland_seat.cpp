#include "wayland_seat.h"

#include <unistd.h>
#include <wayland-client.h>

namespace vz {

namespace {

// Gives a device of the seat back (its release request, where the version
// bound has one) and forgets it.
template <class Device>
void Release(Device*& device, std::uint32_t releaseSince, void (*release)(Device*),
             void (*destroy)(Device*)) {
  if (!device) return;
  if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(device)) >= releaseSince) {
    release(device);
  } else {
    destroy(device);
  }
  device = nullptr;
}

SeatEvents& EventsOf(void* data) { return static_cast<WaylandSeat*>(data)->Events(); }

const wl_keyboard_listener kKeyboardListener = {
    // keymap: not needed to tell that a key went down
    [](void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) { close(fd); },
    // enter: keys already held when the focus came are no new sign
    [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array*) {
      EventsOf(data).KeyboardEntered(surface);
    },
    // leave
    [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface) {
      EventsOf(data).KeyboardLeft(surface);
    },
    // key
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
      if (state == WL_KEYBOARD_KEY_STATE_PRESSED) EventsOf(data).KeyPressed();
    },
    // modifiers
    [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
       std::uint32_t) {},
    // repeat_info
    [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
};

const wl_pointer_listener kPointerListener = {
    // enter
    [](void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
       wl_fixed_t y) {
      static_cast<WaylandSeat*>(data)->OnPointerEnter(serial, surface, wl_fixed_to_int(x),
                                                      wl_fixed_to_int(y));
    },
    // leave
    [](void* data, wl_pointer*, std::uint32_t, wl_surface*) {
      static_cast<WaylandSeat*>(data)->OnPointerLeave();
    },
    // motion
    [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
      static_cast<WaylandSeat*>(data)->OnPointerMotion(wl_fixed_to_int(x), wl_fixed_to_int(y));
    },
    // button
    [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
       std::uint32_t state) {
      if (state == WL_POINTER_BUTTON_STATE_PRESSED) EventsOf(data).ButtonPressed(button);
    },
    // axis, frame, axis_source, axis_stop, axis_discrete, axis_value120
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    [](void*, wl_pointer*) {},
    [](void*, wl_pointer*, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

const wl_touch_listener kTouchListener = {
    // down
    [](void* data, wl_touch*, std::uint32_t, std::uint32_t, wl_surface*, std::int32_t, wl_fixed_t,
       wl_fixed_t) { EventsOf(data).TouchDown(); },
    // up, motion, frame, cancel, shape, orientation
    [](void*, wl_touch*, std::uint32_t, std::uint32_t, std::int32_t) {},
    [](void*, wl_touch*, std::uint32_t, std::int32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_touch*) {},
    [](void*, wl_touch*) {},
    [](void*, wl_touch*, std::int32_t, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_touch*, std::int32_t, wl_fixed_t) {},
};

const wl_seat_listener kSeatListener = {
    [](void* data, wl_seat*, std::uint32_t capabilities) {
      static_cast<WaylandSeat*>(data)->OnCapabilities(capabilities);
    },
    // name
    [](void*, wl_seat*, const char*) {},
};

}  // namespace

WaylandSeat::WaylandSeat(wl_seat* seat, std::uint32_t name, SeatEvents& events)
    : seat_(seat), name_(name), events_(events) {
  wl_seat_add_listener(seat_, &kSeatListener, this);
}

WaylandSeat::~WaylandSeat() {
  DropKeyboard();
  DropPointer();
  DropTouch();
  if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION) {
    wl_seat_release(seat_);
  } else {
    wl_seat_destroy(seat_);
  }
}

void WaylandSeat::OnCapabilities(std::uint32_t capabilities) {
  const bool keyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
  const bool pointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
  if (keyboard && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!keyboard && keyboard_) {
    DropKeyboard();
  }
  if (pointer && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointerListener, this);
  } else if (!pointer && pointer_) {
    DropPointer();
  }
  const bool touch = capabilities & WL_SEAT_CAPABILITY_TOUCH;
  if (touch && !touch_) {
    touch_ = wl_seat_get_touch(seat_);
    wl_touch_add_listener(touch_, &kTouchListener, this);
  } else if (!touch && touch_) {
    DropTouch();
  }
}

void WaylandSeat::OnPointerEnter(std::uint32_t serial, wl_surface* surface, std::int32_t x,
                                 std::int32_t y) {
  // No cursor over the saver.
  wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
  pointerSurface_ = surface;
  events_.PointerAt(surface, x, y);
}

void WaylandSeat::OnPointerMotion(std::int32_t x, std::int32_t y) {
  if (pointerSurface_) events_.PointerAt(pointerSurface_, x, y);
}

void WaylandSeat::DropKeyboard() {
  Release(keyboard_, WL_KEYBOARD_RELEASE_SINCE_VERSION, wl_keyboard_release, wl_keyboard_destroy);
}

void WaylandSeat::DropPointer() {
  Release(pointer_, WL_POINTER_RELEASE_SINCE_VERSION, wl_pointer_release, wl_pointer_destroy);
  pointerSurface_ = nullptr;
}

void WaylandSeat::DropTouch() {
  Release(touch_, WL_TOUCH_RELEASE_SINCE_VERSION, wl_touch_release, wl_touch_destroy);
}

}  // namespace vz
