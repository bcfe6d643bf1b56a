#include "layer_output.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace vz {

namespace {

// Two buffers take turns: one shown, one drawn into.
constexpr std::size_t kSlots = 2;
// A buffer lagging this many fills behind (held long by the compositor, or
// left unused while the other one keeps coming back free) copies the last
// shown one instead of replaying them, so the log stays small.
constexpr std::size_t kMaxLog = std::size_t{1} << 16;
// Fills whose lines are asked for ahead of writing them: a tick's at the
// defaults, few enough that the lines are still there when written.
constexpr std::size_t kPrefetchFills = 256;

std::uint32_t XrgbPixel(Colour c) {  // 0x00BBGGRR to XRGB8888
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

const zwlr_layer_surface_v1_listener kLayerListener = {
    [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
      static_cast<LayerOutput*>(data)->OnConfigure(serial, w, h);
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<LayerOutput*>(data)->OnClosed(); },
};

}  // namespace

LayerOutput::LayerOutput(const WaylandGlobals& globals, wl_output* output,
                         std::function<void(LayerOutput&)> repainted,
                         std::function<void(LayerOutput&)> closed)
    : globals_(globals), repainted_(std::move(repainted)), closed_(std::move(closed)) {
  slots_.reserve(kSlots);
  surface_ = wl_compositor_create_surface(globals.compositor);
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
  slots_.clear();
  if (layer_) zwlr_layer_surface_v1_destroy(layer_);
  if (surface_) wl_surface_destroy(surface_);
}

void LayerOutput::OnConfigure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer_, serial);
  const int w = static_cast<int>(std::min<std::uint32_t>(width, 1 << 15));
  const int h = static_cast<int>(std::min<std::uint32_t>(height, 1 << 15));
  if (w == width_ && h == height_ && latest_) {
    wl_surface_commit(surface_);
    return;
  }
  Resize(w, h);
  if (Configured()) repainted_(*this);
}

void LayerOutput::OnClosed() { closed_(*this); }

// A new size is a repaint: everything black, no fill carried over.
void LayerOutput::Resize(int width, int height) {
  slots_.clear();
  latest_ = nullptr;
  log_.clear();
  logStart_ = 0;
  width_ = width;
  height_ = height;
  dirty_.Reset(width, height);
  unchanged_.Reset();
  if (!Configured()) return;
  Slot* slot = FreeSlot();
  if (!slot) {
    width_ = height_ = 0;
    return;
  }
  // Fresh shared memory is zero: black.
  slot->buffer->busy = true;
  wl_surface_attach(surface_, slot->buffer->Buffer(), 0, 0);
  wl_surface_damage(surface_, 0, 0, width, height);
  wl_surface_commit(surface_);
  latest_ = slot;
}

LayerOutput::Slot* LayerOutput::FreeSlot() {
  for (Slot& s : slots_) {
    if (!s.buffer->busy) return &s;
  }
  if (slots_.size() == kSlots) return nullptr;
  std::unique_ptr<ShmBuffer> buffer = ShmBuffer::Create(globals_.shm, width_, height_);
  if (!buffer) return nullptr;
  slots_.push_back(Slot{std::move(buffer), logStart_ + log_.size(), latest_ != nullptr});
  return &slots_.back();
}

bool LayerOutput::BeginDraw() {
  if (!Configured() || !latest_) return false;
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
  log_.push_back(fill);
  dirty_.Mark(fill.x0, fill.y0, fill.x1, fill.y1);
}

void LayerOutput::EndDraw() {
  unchanged_.Finish([this](const Fill& f) { Log(f); });
  drawing_ = false;
  Present();
}

void LayerOutput::CatchUp(Slot& slot) {
  if (slot.copyLatest && latest_ && latest_ != &slot) {
    std::memcpy(slot.buffer->Pixels(), latest_->buffer->Pixels(), slot.buffer->Bytes());
    slot.upTo = latest_->upTo;
  }
  slot.copyLatest = false;
  // The lines of a buffer last written two ticks ago, and read by the
  // compositor since, are nowhere near this core: ask for a block's lines
  // first, so that their misses overlap instead of coming one by one.
  for (std::size_t block = slot.upTo - logStart_; block < log_.size(); block += kPrefetchFills) {
    const std::size_t end = std::min(block + kPrefetchFills, log_.size());
    for (std::size_t i = block; i < end; ++i) {
      const Fill& f = log_[i];
      for (int row = f.y0; row < f.y1; ++row) __builtin_prefetch(slot.buffer->Row(row) + f.x0, 1);
    }
    for (std::size_t i = block; i < end; ++i) {
      const Fill& f = log_[i];
      for (int row = f.y0; row < f.y1; ++row) {
        std::uint32_t* line = slot.buffer->Row(row);
        std::fill(line + f.x0, line + f.x1, f.pixel);
      }
    }
  }
  slot.upTo = logStart_ + log_.size();
}

void LayerOutput::Present() {
  if (dirty_.Empty() || !latest_) return;
  Slot* slot = FreeSlot();
  if (!slot) {
    TrimLog();
    return;
  }
  CatchUp(*slot);
  slot->buffer->busy = true;
  wl_surface_attach(surface_, slot->buffer->Buffer(), 0, 0);
  // Buffer and surface coordinates agree: scale 1, no transform.
  const bool bufferDamage = globals_.compositorVersion >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION;
  dirty_.Take([this, bufferDamage](int x, int y, int w, int h) {
    if (bufferDamage) {
      wl_surface_damage_buffer(surface_, x, y, w, h);
    } else {
      wl_surface_damage(surface_, x, y, w, h);
    }
  });
  wl_surface_commit(surface_);
  latest_ = slot;
  TrimLog();
}

// Keeps only the fills some buffer still lacks; a buffer that lags too far
// will copy the last shown one instead.
void LayerOutput::TrimLog() {
  std::uint64_t keepFrom = logStart_ + log_.size();
  for (Slot& s : slots_) {
    if (&s != latest_ && logStart_ + log_.size() - s.upTo > kMaxLog) s.copyLatest = true;
    if (!s.copyLatest) keepFrom = std::min(keepFrom, s.upTo);
  }
  if (latest_) keepFrom = std::min(keepFrom, latest_->upTo);
  const std::size_t drop = static_cast<std::size_t>(keepFrom - logStart_);
  if (drop == 0) return;
  log_.erase(log_.begin(), log_.begin() + static_cast<std::ptrdiff_t>(drop));
  logStart_ = keepFrom;
}

}  // namespace vz
