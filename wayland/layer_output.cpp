#include "layer_output.h"

#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace vz {

namespace {

std::uint32_t XrgbPixel(Colour c) {  // 0x00BBGGRR to XRGB8888
  return (Red(c) << 16) | (Green(c) << 8) | Blue(c);
}

const zwlr_layer_surface_v1_listener kLayerListener = {
    [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
      static_cast<LayerOutput*>(data)->OnConfigure(serial, w, h);
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<LayerOutput*>(data)->OnClosed(); },
};

const wp_fractional_scale_v1_listener kFractionalListener = {
    [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
      static_cast<LayerOutput*>(data)->OnPreferredScale(scale);
    },
};

}  // namespace

LayerOutput::LayerOutput(const WaylandGlobals& globals, wl_output* output, const OutputInfo& info,
                         std::function<void(LayerOutput&)> repainted,
                         std::function<void(LayerOutput&)> closed)
    : globals_(globals),
      info_(info),
      repainted_(std::move(repainted)),
      closed_(std::move(closed)),
      pool_(globals.shm) {
  surface_ = wl_compositor_create_surface(globals.compositor);
  if (globals.viewporter) {
    viewport_ = wp_viewporter_get_viewport(globals.viewporter, surface_);
    // The scale to draw at comes with the first configure.
    if (globals.fractionalScale) {
      fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScale,
                                                                         surface_);
      wp_fractional_scale_v1_add_listener(fractional_, &kFractionalListener, this);
    }
  }
  layer_ = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, surface_, output,
                                                 ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "vivedaziv");
  zwlr_layer_surface_v1_add_listener(layer_, &kLayerListener, this);
  // The whole output, whatever panels reserve, and every key.
  zwlr_layer_surface_v1_set_size(layer_, 0, 0);
  zwlr_layer_surface_v1_set_anchor(
      layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
  // No buffer before the first configure: the compositor answers this
  // commit with one.
  wl_surface_commit(surface_);
}

LayerOutput::~LayerOutput() {
  pool_.Reset(0, 0);
  if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
  if (viewport_) wp_viewport_destroy(viewport_);
  if (layer_) zwlr_layer_surface_v1_destroy(layer_);
  if (surface_) wl_surface_destroy(surface_);
}

void LayerOutput::OnConfigure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer_, serial);
  logicalWidth_ = static_cast<int>(std::min<std::uint32_t>(width, 1 << 15));
  logicalHeight_ = static_cast<int>(std::min<std::uint32_t>(height, 1 << 15));
  // Even with nothing to redraw, a commit answers the configure.
  if (!Update()) wl_surface_commit(surface_);
}

void LayerOutput::OnClosed() { closed_(*this); }

void LayerOutput::OnPreferredScale(std::uint32_t scale120) {
  preferred120_ = scale120;
  // Before the first configure there is nothing to redraw yet.
  if (logicalWidth_ > 0) Update();
}

void LayerOutput::SetPainting(bool painting) {
  if (painting == painting_) return;
  painting_ = painting;
  shown_ = false;
  if (logicalWidth_ > 0) Update();
}

bool LayerOutput::Update() {
  const SurfacePixels pixels =
      DevicePixels(logicalWidth_, logicalHeight_, info_, preferred120_, viewport_ != nullptr,
                   globals_.compositorVersion >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION);
  if (shown_ && pixels == pixels_) return false;
  pixels_ = pixels;
  Resize();
  if (Configured()) repainted_(*this);
  return true;
}

// A new size is a repaint: everything black, no fill carried over.
void LayerOutput::Resize() {
  shown_ = false;
  width_ = pixels_.width;
  height_ = pixels_.height;
  pool_.Reset(width_, height_);
  dirty_.Reset(width_, height_);
  unchanged_.Reset();
  if (!Configured()) return;
  wl_buffer* buffer = nullptr;
  const bool tinyAvailable = globals_.blackPixel && viewport_;
  bool tiny = !painting_ && tinyAvailable;
  if (tiny) {
    buffer = globals_.blackPixel;
  } else if (ShmBuffer* fresh = pool_.Next()) {
    // Fresh shared memory is zero: black.
    buffer = fresh->Buffer();
    pool_.Shown(fresh);
  } else {
    // Said, and the output kept black where the compositor allows it.
    std::fprintf(stderr, "vivedaziv: no shared memory for a %d x %d picture on an output%s\n",
                 width_, height_, tinyAvailable ? "; it stays black" : "");
    width_ = height_ = 0;
    if (!tinyAvailable) return;
    tiny = true;
    buffer = globals_.blackPixel;
  }
  SetScaling(tiny);
  wl_surface_attach(surface_, buffer, 0, 0);
  wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_commit(surface_);
  shown_ = true;
}

void LayerOutput::SetScaling(bool tinyBuffer) {
  const bool viewport = tinyBuffer || pixels_.viewport;
  if (viewport_) {
    // Only the middle of the tiny buffer: a renderer stretching it a
    // thousandfold in fixed point samples a little past the part it shows
    // (pixman left six rows of the desktop below a stretched single pixel).
    constexpr int kMargin = WaylandGlobals::kBlackSide / 4;
    const wl_fixed_t from = wl_fixed_from_int(tinyBuffer ? kMargin : -1);
    const wl_fixed_t size =
        wl_fixed_from_int(tinyBuffer ? WaylandGlobals::kBlackSide - 2 * kMargin : -1);
    wp_viewport_set_source(viewport_, from, from, size, size);
    if (viewport) {
      wp_viewport_set_destination(viewport_, logicalWidth_, logicalHeight_);
    } else {
      wp_viewport_set_destination(viewport_, -1, -1);
    }
  }
  if (globals_.compositorVersion >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
    wl_surface_set_buffer_scale(surface_, viewport ? 1 : pixels_.bufferScale);
  }
}

bool LayerOutput::BeginDraw() {
  if (!Configured() || !pool_.HasShown()) return false;
  drawing_ = true;
  return true;
}

void LayerOutput::FillSolidRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                                Colour colour) {
  if (!drawing_) return;
  int x0, y0, x1, y1;
  if (!ClipToPicture(x, y, w, h, width_, height_, x0, y0, x1, y1)) return;
  unchanged_.Add(Fill{x0, y0, x1, y1, XrgbPixel(colour)}, [this](const Fill& f) { Log(f); });
}

void LayerOutput::Log(const Fill& fill) {
  pool_.Add(fill);
  dirty_.Mark(fill.x0, fill.y0, fill.x1, fill.y1);
}

void LayerOutput::EndDraw() {
  unchanged_.Finish([this](const Fill& f) { Log(f); });
  drawing_ = false;
  Present();
}

void LayerOutput::Present() {
  if (dirty_.Empty() || !pool_.HasShown()) return;
  ShmBuffer* next = pool_.Next();
  if (!next) return;
  wl_surface_attach(surface_, next->Buffer(), 0, 0);
  if (globals_.compositorVersion >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    dirty_.Take(
        [this](int x, int y, int w, int h) { wl_surface_damage_buffer(surface_, x, y, w, h); });
  } else {
    // Only surface coordinates, which are the buffer's at scale 1 alone.
    const bool same = pixels_.bufferScale == 1 && !pixels_.viewport;
    dirty_.Take([this, same](int x, int y, int w, int h) {
      if (same) wl_surface_damage(surface_, x, y, w, h);
    });
    if (!same) wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
  }
  wl_surface_commit(surface_);
  pool_.Shown(next);
}

}  // namespace vz
