#include "buffer_pool.h"

#include <algorithm>
#include <cstring>

namespace vz {

namespace {

// A buffer lagging this many fills behind (held long by the compositor, or
// left unused while the other one keeps coming back free) copies the last
// shown one instead of replaying them, so the log stays small.
constexpr std::size_t kMaxLog = std::size_t{1} << 16;
// Fills whose lines are asked for ahead of writing them: a tick's at the
// defaults, few enough that the lines are still there when written.
constexpr std::size_t kPrefetchFills = 256;

}  // namespace

void BufferPool::Reset(int width, int height) {
  slots_.clear();
  latest_ = nullptr;
  log_.clear();
  logStart_ = 0;
  width_ = width;
  height_ = height;
}

ShmBuffer* BufferPool::Next() {
  Slot* slot = FreeSlot();
  if (!slot) {
    TrimLog();
    return nullptr;
  }
  CatchUp(*slot);
  return slot->buffer.get();
}

void BufferPool::Shown(ShmBuffer* buffer) {
  buffer->busy = true;
  for (Slot& s : slots_) {
    if (s.buffer.get() == buffer) latest_ = &s;
  }
  TrimLog();
}

BufferPool::Slot* BufferPool::FreeSlot() {
  for (Slot& s : slots_) {
    if (!s.buffer->busy) return &s;
  }
  if (slots_.size() == kSlots) return nullptr;
  std::unique_ptr<ShmBuffer> buffer = ShmBuffer::Create(shm_, width_, height_);
  if (!buffer) return nullptr;
  slots_.push_back(Slot{std::move(buffer), logStart_ + log_.size(), latest_ != nullptr});
  return &slots_.back();
}

void BufferPool::CatchUp(Slot& slot) {
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
      const PixelFill& f = log_[i];
      for (int row = f.y0; row < f.y1; ++row) __builtin_prefetch(slot.buffer->Row(row) + f.x0, 1);
    }
    for (std::size_t i = block; i < end; ++i) {
      const PixelFill& f = log_[i];
      for (int row = f.y0; row < f.y1; ++row) {
        std::uint32_t* line = slot.buffer->Row(row);
        std::fill(line + f.x0, line + f.x1, f.pixel);
      }
    }
  }
  slot.upTo = logStart_ + log_.size();
}

// Keeps only the fills some buffer still lacks; a buffer that lags too far
// will copy the last shown one instead.
void BufferPool::TrimLog() {
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
