#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "draw_surface.h"
#include "particle_field.h"
#include "field_ticks.h"

namespace vz {

// Runs the ticks of a field on a thread of its own: it sleeps until the
// next tick is due, steps and draws on the surface, and sleeps again; one
// wake-up a tick, with nothing of the owner's event loop in it. A tick runs
// in slices as on an event loop, and between slices the owner may take the
// field (Hold), so however many particles there are a repaint or a stop is
// served within a slice. Everything the ticks touch (the field, what the
// surface draws with) may change only while held.
class TickThread {
 public:
  TickThread(ParticleField& field, DrawSurface& surface) : field_(field), surface_(surface) {}
  TickThread(const TickThread&) = delete;
  TickThread& operator=(const TickThread&) = delete;
  ~TickThread() { Stop(); }

  // Ticks every `interval`, the first at `first`; starts the thread when it
  // is not running. False when no thread could be started.
  bool Start(std::chrono::milliseconds interval, TickClock::Clock::time_point first);
  // Ends the thread, within a slice of a tick in progress, and waits for it.
  void Stop();
  // Keeps the ticks off the field and the surface until the lock goes.
  [[nodiscard]] std::unique_lock<std::mutex> Hold();
  // Drops the tick in progress; only while held.
  void Abandon() { ticks_.Abandon(); }

 private:
  void Loop();
  void Wake();

  ParticleField& field_;
  DrawSurface& surface_;
  std::mutex mutex_;
  // How many wait for the lock: the thread lets them go first.
  std::atomic<int> waiting_{0};
  // Wakes the thread when the schedule changes or it is to end.
  int wake_ = -1;
  bool stop_ = false;
  FieldTicks ticks_;
  std::thread thread_;
};

}  // namespace vz
