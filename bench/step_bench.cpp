// Cost of one tick per ordered pair: the whole step against a surface that
// records nothing, and the force pass alone with the plain loop and with the
// kernel picked at run time, side by side. The per_pair counter is the time
// per ordered pair, printed with its unit.
#include <benchmark/benchmark.h>

#include <string>

#include "force.h"
#include "random.h"
#include "seed.h"
#include "step.h"

namespace {

class NullSurface : public vz::DrawSurface {
 public:
  vz::ClientRect GetClientRect() const override { return {0, 0, 1920, 1080}; }
  bool BeginDraw() override { return true; }
  void EndDraw() override {}
  void FillSolidRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, vz::Colour) override {}
};

enum class Masses { kSingle, kRandom };

void SetUpField(vz::ParticleField& f, std::int32_t n, Masses masses = Masses::kSingle) {
  vz::SetTimeSource([] { return std::int64_t{1765432100}; });
  f.count = n;
  f.params.showAll = f.params.evenOdd = f.params.friction = f.params.borders = 1;
  if (masses == Masses::kSingle) {
    f.params.singleMass = 1;
  } else {
    // Up to 100 distinct masses plus the planet's.
    f.params.randomMass = f.params.planet = 1;
  }
  f.params.gravity = 30 * 0.1;
  f.params.mu = 9965 * 0.0001;
  vz::Seed(f, {0, 0, 1920, 1080});
}

// Seconds per ordered pair; the console shows it as ns or ps.
void PerPair(benchmark::State& state, std::int64_t n) {
  const double pairs = static_cast<double>(n) * static_cast<double>(n - 1);
  state.counters["per_pair"] =
      benchmark::Counter(pairs * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Step(benchmark::State& state) {
  vz::ParticleField f;
  SetUpField(f, static_cast<std::int32_t>(state.range(0)));
  NullSurface s;
  for (auto _ : state) vz::Step(f, s);
  PerPair(state, state.range(0));
}

void BM_ForcePlain(benchmark::State& state) {
  vz::ParticleField f;
  SetUpField(f, static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) vz::ForcePassPlain(f.particles.get(), f.arraySize, f.params);
  PerPair(state, state.range(0));
}

void BM_ForceFast(benchmark::State& state) {
  vz::ParticleField f;
  SetUpField(f, static_cast<std::int32_t>(state.range(0)));
  state.SetLabel(vz::ForceKernelName());
  for (auto _ : state) vz::ForcePass(f.particles.get(), f.arraySize, f.params);
  PerPair(state, state.range(0));
}

// Many distinct masses: the ratio table grows or, for few particles, gives
// way to a division per pair.
void BM_ForceFastRandomMass(benchmark::State& state) {
  vz::ParticleField f;
  SetUpField(f, static_cast<std::int32_t>(state.range(0)), Masses::kRandom);
  state.SetLabel(vz::ForceKernelName());
  for (auto _ : state) vz::ForcePass(f.particles.get(), f.arraySize, f.params);
  PerPair(state, state.range(0));
}

// Every kernel this processor runs, whatever ForcePass would pick.
void ForceWith(benchmark::State& state, const char* kernel) {
  vz::ParticleField f;
  SetUpField(f, static_cast<std::int32_t>(state.range(0)));
  for (auto _ : state) vz::ForcePassWith(kernel, f.particles.get(), f.arraySize, f.params);
  PerPair(state, state.range(0));
}

}  // namespace

BENCHMARK(BM_Step)->Arg(50)->Arg(100)->Arg(1000)->Arg(4000);
BENCHMARK(BM_ForcePlain)->Arg(50)->Arg(100)->Arg(1000)->Arg(4000);
BENCHMARK(BM_ForceFast)->Arg(50)->Arg(100)->Arg(1000)->Arg(4000);
BENCHMARK(BM_ForceFastRandomMass)->Arg(50)->Arg(100)->Arg(400)->Arg(1000)->Arg(4000);

int main(int argc, char** argv) {
  for (const char* kernel : vz::AvailableForceKernels()) {
    benchmark::RegisterBenchmark((std::string("BM_ForceKernel/") + kernel).c_str(), ForceWith,
                                 kernel)
        ->Arg(100)
        ->Arg(1000);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
