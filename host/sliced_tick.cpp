#include "sliced_tick.h"

#include <chrono>

namespace vz {

namespace {
// How long a tick runs before the event loop gets a turn.
constexpr std::chrono::milliseconds kTickSlice{8};
}  // namespace

void SlicedTick::OnTimer(int timerId, ParticleField& field, DrawSurface& surface) {
  if (timerId == slices_.timerId()) {
    RunSlice(field, surface);
    return;
  }
  if (tick_.Running()) {
    due_ = true;
    return;
  }
  if (tick_.Start(field)) RunSlice(field, surface);
}

void SlicedTick::RunSlice(ParticleField& field, DrawSurface& surface) {
  if (tick_.Run(surface, std::chrono::steady_clock::now() + kTickSlice)) {
    const bool next = due_ && tick_.Start(field);
    due_ = false;
    if (!next) {
      slices_.stop();
      return;
    }
  }
  if (!slices_.isActive()) slices_.start(0, Qt::PreciseTimer, owner_);
}

void SlicedTick::Abandon() {
  tick_.Abandon();
  slices_.stop();
  due_ = false;
}

}  // namespace vz
