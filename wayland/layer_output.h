#pragma once

#include <cstdint>
#include <functional>

#include "buffer_pool.h"
#include "dirty_cells.h"
#include "draw_surface.h"
#include "output_info.h"
#include "unchanged_fills.h"
#include "wayland_globals.h"

struct wl_output;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct zwlr_layer_surface_v1;

namespace vz {

// The saver's surface on one output: an overlay layer surface anchored to
// every edge, over panels and windows, that takes the keyboard. Its picture
// is in the output's device pixels, whatever the output's scale. Black; the
// one that holds the particle field (SetPainting) is drawn on through
// DrawSurface, the others show one black pixel scaled up where the
// compositor can scale buffers. Fills go to the buffer pool, and only
// what changed since the last commit is damaged: fills that change nothing
// never reach the pool.
class LayerOutput : public DrawSurface {
 public:
  // `repainted` runs after a configure with a new size, once the surface
  // shows black at that size; `closed` when the compositor takes the
  // surface away.
  // `info` is the output's, kept up to date by the caller (OutputChanged).
  LayerOutput(const WaylandGlobals& globals, wl_output* output, const OutputInfo& info,
              std::function<void(LayerOutput&)> repainted,
              std::function<void(LayerOutput&)> closed);
  ~LayerOutput() override;
  LayerOutput(const LayerOutput&) = delete;
  LayerOutput& operator=(const LayerOutput&) = delete;

  wl_surface* Surface() const { return surface_; }
  bool Configured() const { return width_ > 0 && height_ > 0; }

  // Whether it holds the particle field; a change repaints it black.
  void SetPainting(bool painting);
  // The output's scale, mode or turn changed.
  void OutputChanged() { Update(); }

  // Commits what was painted since the last commit, when a buffer is free;
  // otherwise it waits for a later call.
  void Present();
  bool HasUnshownFills() const { return !dirty_.Empty(); }

  // DrawSurface
  ClientRect GetClientRect() const override { return {0, 0, width_, height_}; }
  bool BeginDraw() override;
  void EndDraw() override;
  void FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                     Colour colour) override;

  // Called by the layer surface's listener.
  void OnConfigure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
  void OnClosed();
  // The compositor's preferred scale, in 120ths.
  void OnPreferredScale(std::uint32_t scale120);

 private:
  using Fill = PixelFill;

  // Shows the picture at the size the output asks for now; a new size is a
  // repaint. False when nothing changed.
  bool Update();
  void Resize();
  // Tells the compositor how buffers map onto the surface.
  void SetScaling(bool tinyBuffer);
  void Log(const Fill& fill);

  const WaylandGlobals& globals_;
  const OutputInfo& info_;
  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractional_ = nullptr;
  std::function<void(LayerOutput&)> repainted_;
  std::function<void(LayerOutput&)> closed_;
  // The surface's size as configured, and the picture's in device pixels.
  int logicalWidth_ = 0;
  int logicalHeight_ = 0;
  std::uint32_t preferred120_ = 0;
  SurfacePixels pixels_;
  int width_ = 0;
  int height_ = 0;
  bool painting_ = false;
  // Something is attached at the current size.
  bool shown_ = false;
  bool drawing_ = false;
  BufferPool pool_;
  UnchangedFills unchanged_{0};  // black
  DirtyCells dirty_;
};

}  // namespace vz
