// A pointer device for tests on a wlroots compositor: appears on the seat,
// waits, so that clients can bind the new pointer and see where it is, then
// moves a few times and goes.
// Usage: virtual_pointer [WAIT_MS]   (WAYLAND_DISPLAY names the compositor)
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

wl_seat* g_seat = nullptr;
zwlr_virtual_pointer_manager_v1* g_manager = nullptr;

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g_seat) {
    g_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  }
}

const wl_registry_listener kListener = {OnGlobal, [](void*, wl_registry*, std::uint32_t) {}};

}  // namespace

int main(int argc, char** argv) {
  const int waitMs = argc > 1 ? std::atoi(argv[1]) : 1000;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "virtual_pointer: no compositor\n");
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kListener, nullptr);
  wl_display_roundtrip(display);
  if (!g_manager) {
    std::fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointers\n");
    return 1;
  }
  zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, g_seat);
  wl_display_roundtrip(display);
  usleep(static_cast<useconds_t>(waitMs) * 1000);
  for (int i = 1; i <= 5; ++i) {
    zwlr_virtual_pointer_v1_motion(pointer, static_cast<std::uint32_t>(i * 10),
                                   wl_fixed_from_int(7), wl_fixed_from_int(5));
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
    usleep(100 * 1000);
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  zwlr_virtual_pointer_manager_v1_destroy(g_manager);
  if (g_seat) wl_seat_destroy(g_seat);
  wl_registry_destroy(registry);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
