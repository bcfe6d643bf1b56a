#pragma once

#include <cstdint>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_shm;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct zwlr_layer_shell_v1;

namespace vz {

// What every surface of the saver needs from the compositor; the last ones
// only where it offers them.
struct WaylandGlobals {
  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  std::uint32_t compositorVersion = 0;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layerShell = nullptr;
  wp_viewporter* viewporter = nullptr;
  wp_fractional_scale_manager_v1* fractionalScale = nullptr;
  // A tiny black buffer of kBlackSide × kBlackSide that every black surface
  // shows, scaled to its size by the viewporter; null without a viewporter.
  wl_buffer* blackPixel = nullptr;
  static constexpr int kBlackSide = 4;
};

}  // namespace vz
