#pragma once

#include <cstdint>

struct wl_keyboard;
struct wl_pointer;
struct wl_seat;
struct wl_surface;
struct wl_touch;

namespace vz {

// What the saver hears from a seat.
class SeatEvents {
 public:
  virtual void KeyPressed() = 0;
  // An evdev button code.
  virtual void ButtonPressed(std::uint32_t button) = 0;
  // The pointer entered `surface` or moved on it, to surface pixel (x, y).
  virtual void PointerAt(wl_surface* surface, std::int32_t x, std::int32_t y) = 0;
  // The keyboard focus came to `surface` or left it; null when the
  // surface is one the saver already destroyed.
  virtual void KeyboardEntered(wl_surface* surface) = 0;
  virtual void KeyboardLeft(wl_surface* surface) = 0;
  // A finger came down on a touchscreen.
  virtual void TouchDown() = 0;

 protected:
  ~SeatEvents() = default;
};

// One seat: its keyboard, pointer and touchscreen, bound whenever the seat offers them
// (a virtual keyboard may come after the saver started) and dropped when
// they go. The pointer is hidden over every surface it enters.
class WaylandSeat {
 public:
  WaylandSeat(wl_seat* seat, std::uint32_t name, SeatEvents& events);
  ~WaylandSeat();
  WaylandSeat(const WaylandSeat&) = delete;
  WaylandSeat& operator=(const WaylandSeat&) = delete;

  std::uint32_t Name() const { return name_; }

  void OnCapabilities(std::uint32_t capabilities);
  void OnPointerEnter(std::uint32_t serial, wl_surface* surface, std::int32_t x, std::int32_t y);
  void OnPointerMotion(std::int32_t x, std::int32_t y);
  void OnPointerLeave() { pointerSurface_ = nullptr; }
  SeatEvents& Events() { return events_; }

 private:
  void DropKeyboard();
  void DropPointer();
  void DropTouch();

  wl_seat* seat_;
  std::uint32_t name_;
  SeatEvents& events_;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_touch* touch_ = nullptr;
  wl_surface* pointerSurface_ = nullptr;
};

}  // namespace vz
