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
  OnTick(field, surface);
}

void SlicedTick::OnTick(ParticleField& field, DrawSurface& surface) {
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
      StopSlices();
      return;
    }
  }
  if (!owner_) {
    sliceDue_ = true;
  } else if (!slices_.isActive()) {
    slices_.start(0, Qt::PreciseTimer, owner_);
  }
}

void SlicedTick::StopSlices() {
  if (slices_.isActive()) slices_.stop();
  sliceDue_ = false;
}

void SlicedTick::Abandon() {
  tick_.Abandon();
  StopSlices();
  due_ = false;
}

}  // namespace vz
