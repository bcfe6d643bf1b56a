#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "particle_field.h"

namespace vz {

// The force pass a piece at a time, for a caller that must stay responsive
// however large the field: each piece visits about a given number of pairs,
// and the finished pass leaves exactly the bits ForcePass leaves. Pieces
// split the rows i, and a long row into runs of k.
class ForceJob {
 public:
  // Uses the kernel ForcePass uses, or the named one when this processor
  // runs it (the plain loop when it does not).
  explicit ForceJob(std::string_view kernel = {});
  ~ForceJob();
  ForceJob(const ForceJob&) = delete;
  ForceJob& operator=(const ForceJob&) = delete;

  // Starts a pass. Until it ends the particles must stay where they are,
  // with their positions and masses unchanged.
  void Begin(Particle* particles, std::int32_t n, const SimParams& p);
  // Runs one piece of about `pairs` ordered pairs (at least a few); true
  // once the pass is complete and every velocity written.
  bool Advance(std::int64_t pairs);
  // Drops the pass. Some velocities may already have changed (the plain loop
  // works in place), so the field is only fit to be reseeded or stopped.
  void Cancel();
  bool Active() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace vz
