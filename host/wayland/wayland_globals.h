#pragma once

#include <cstdint>

struct wl_compositor;
struct wl_display;
struct wl_shm;
struct zwlr_layer_shell_v1;

namespace vz {

// What every surface of the saver needs from the compositor.
struct WaylandGlobals {
  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  std::uint32_t compositorVersion = 0;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layerShell = nullptr;
};

}  // namespace vz
