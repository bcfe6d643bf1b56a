#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "draw_surface.h"
#include "force_job.h"
#include "particle_field.h"

namespace vz {

// One tick: forces, motion, walls, then erase and draw 4 × 4 squares.
void Step(ParticleField& field, DrawSurface& surface);

// Truncates a position toward zero for drawing; false when it lies outside
// the 32-bit range (or is not a number), where nothing could be visible.
bool ToPixel(double v, std::int32_t& out);

// One tick of Step run a piece at a time, so that a window can handle its
// events between pieces whatever the size of the field. The finished tick
// leaves the field as Step leaves it and makes the same drawing calls in the
// same order: the force pass is split by rows, the motion pass by particles,
// all inside one drawing context.
class StepJob {
 public:
  // Ordered pairs per piece of the force pass by default: well under a
  // millisecond with the vector kernels, about one with the plain loop.
  static constexpr std::int64_t kPiecePairs = std::int64_t{1} << 19;

  explicit StepJob(std::string_view kernel = {}) : force_(kernel) {}
  StepJob(const StepJob&) = delete;
  StepJob& operator=(const StepJob&) = delete;

  // Starts a tick; false, with nothing started, when Step would do nothing
  // at all. The tick uses the switches as they are now.
  bool Start(ParticleField& field);
  // Runs pieces until `deadline` has passed, at least one; true once the
  // tick is complete (or was dropped because the field was reseeded or
  // stopped meanwhile). A piece of the motion pass moves piecePairs / 32
  // particles. Later calls go on with the surface given first.
  bool Run(DrawSurface& surface, std::chrono::steady_clock::time_point deadline,
           std::int64_t piecePairs = kPiecePairs);
  // Drops the tick in progress, closing the drawing context when it is open
  // (what was drawn stays). The field may be left part way through the tick:
  // reseed or stop it before it is stepped again.
  void Abandon();
  bool Running() const { return field_ != nullptr; }

 private:
  ForceJob force_;
  ParticleField* field_ = nullptr;
  std::uint64_t releases_ = 0;
  SimParams params_;
  // Set while the motion pass holds the drawing context.
  DrawSurface* surface_ = nullptr;
  ClientRect rc_;
  std::int32_t next_ = 0;
};

}  // namespace vz
