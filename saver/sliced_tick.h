#pragma once

#include <QBasicTimer>

#include "draw_surface.h"
#include "particle_field.h"
#include "step.h"

class QObject;

namespace vz {

// The ticks of a particle field run in slices of about 8 ms with the event
// loop running in between, so that however many particles there are the
// owner still answers input, repaints and close requests. The tick timer fired
// during a long tick makes the next one start right after it.
class SlicedTick {
 public:
  // `owner` receives the timer events of the slices and passes them on to
  // OnTimer. Without one, the owner's own loop runs a slice whenever
  // SliceDue() after handling what came in.
  explicit SlicedTick(QObject* owner) : owner_(owner) {}

  // A timer event of the owner: the slice timer runs the tick in progress;
  // any other is the tick timer, which starts a tick drawing on `surface`.
  void OnTimer(int timerId, ParticleField& field, DrawSurface& surface);
  // The tick timer and the next slice, for an owner without a Qt event loop.
  void OnTick(ParticleField& field, DrawSurface& surface);
  void OnSlice(ParticleField& field, DrawSurface& surface) { RunSlice(field, surface); }
  bool SliceDue() const { return sliceDue_; }
  // Drops the tick in progress (reseed or stop the field before the next).
  void Abandon();

 private:
  void RunSlice(ParticleField& field, DrawSurface& surface);
  void StopSlices();

  QObject* owner_;
  StepJob tick_;
  // Fires whenever the event loop is idle while a tick is in progress.
  QBasicTimer slices_;
  bool sliceDue_ = false;
  bool due_ = false;
};

}  // namespace vz
