#pragma once

#include "sliced_tick.h"
#include "tick_clock.h"

namespace vz {

// The ticks of a field for a loop of its own rather than an event loop (the
// X11 tick thread, the Wayland saver): due every interval from a first,
// each run in slices. The loop sleeps until WakeAt(), then runs what Due()
// says.
class FieldTicks {
 public:
  using Clock = TickClock::Clock;
  enum class Work { kNone, kTick, kSlice };

  void Start(Clock::duration interval, Clock::time_point first) { clock_.Start(interval, first); }
  // What is due at `now`: a new tick (scheduled past then), else the next
  // slice of the tick in progress.
  Work Due(Clock::time_point now) {
    if (clock_.Due(now)) return Work::kTick;
    return ticks_.SliceDue() ? Work::kSlice : Work::kNone;
  }
  // At once while a slice is due (once the loop has handled what came in),
  // else at the next tick.
  Clock::time_point WakeAt() const { return ticks_.SliceDue() ? Clock::now() : clock_.Next(); }
  void Tick(ParticleField& field, DrawSurface& surface) { ticks_.OnTick(field, surface); }
  void Slice(ParticleField& field, DrawSurface& surface) { ticks_.OnSlice(field, surface); }
  // Drops the tick in progress (before a reseed, a new surface or a stop).
  void Abandon() { ticks_.Abandon(); }

 private:
  TickClock clock_;
  SlicedTick ticks_{nullptr};
};

}  // namespace vz
