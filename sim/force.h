#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "particle_field.h"

namespace vz {

// The force pass over `n` particles: velocities change, positions do not.
// Pairs are visited i ascending, then the other index ascending, because
// friction makes the order part of the result.
void ForcePassPlain(Particle* particles, std::int32_t n, const SimParams& p);

// Same results bit for bit, using the kernel that ran fastest on this
// processor when timed at first use; falls back to the plain loop.
void ForcePass(Particle* particles, std::int32_t n, const SimParams& p);

// Name of the kernel ForcePass uses: the fastest this processor runs, or the
// one VIVEDAZIV_FORCE_KERNEL (plain, avx2, avx512) names when it can run here.
// Chosen once, on first use.
const char* ForceKernelName();

// The kernel ForcePass would use if VIVEDAZIV_FORCE_KERNEL held `request`
// (null when unset); an unknown name or one this processor cannot run is
// ignored.
const char* ChooseForceKernel(const char* request);

// Every kernel this processor runs, "plain" first.
std::vector<const char*> AvailableForceKernels();

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

// Runs the named kernel; returns false and leaves the particles alone when it
// is unknown or this processor cannot run it.
bool ForcePassWith(std::string_view kernel, Particle* particles, std::int32_t n,
                   const SimParams& p);

}  // namespace vz
