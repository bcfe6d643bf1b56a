#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "shm_buffer.h"
#include "unchanged_fills.h"

struct wl_shm;

namespace vz {

// The pictures of one surface: two shared-memory buffers that take turns,
// one shown while the other is drawn into, kept up to date from a log of
// fills. A buffer about to be shown first catches up on every fill it has
// not had, so what shows is exactly what was painted, in order.
class BufferPool {
 public:
  explicit BufferPool(wl_shm* shm) : shm_(shm) { slots_.reserve(kSlots); }

  // Forgets every buffer and fill; new buffers have this size (fresh
  // memory is zero: black).
  void Reset(int width, int height);
  // Fills every buffer is to have, in order.
  void Add(const PixelFill& fill) { log_.push_back(fill); }
  // A buffer the compositor does not hold, made when needed, with every
  // fill in it; nothing when both are held or no memory can be had.
  ShmBuffer* Next();
  // `buffer`, from Next, is now attached: held until released, and the
  // picture the next new buffer starts from.
  void Shown(ShmBuffer* buffer);
  bool HasShown() const { return latest_ != nullptr; }

 private:
  // Two buffers take turns: one shown, one drawn into.
  static constexpr std::size_t kSlots = 2;
  struct Slot {
    std::unique_ptr<ShmBuffer> buffer;
    // Fills up to this number are in the buffer.
    std::uint64_t upTo = 0;
    // It must first copy the last shown buffer, whose fills the log no
    // longer holds.
    bool copyLatest = false;
  };

  Slot* FreeSlot();
  void CatchUp(Slot& slot);
  void TrimLog();

  wl_shm* shm_;
  int width_ = 0;
  int height_ = 0;
  std::vector<Slot> slots_;
  Slot* latest_ = nullptr;
  std::vector<PixelFill> log_;
  std::uint64_t logStart_ = 0;  // number of log_[0]
};

}  // namespace vz
