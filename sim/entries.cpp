#include "entries.h"

namespace vz {

namespace {
std::int32_t Switch(std::uint32_t v) { return v == 1 ? 1 : 0; }
}  // namespace

std::int32_t CountFromEntries(const EntryValues& v) {
  return static_cast<std::int32_t>(v.NumParticles);
}

SimParams ParamsFromEntries(const EntryValues& v) {
  SimParams p;
  p.showAll = Switch(v.ShowAll);
  p.planet = Switch(v.Planet);
  p.evenOdd = Switch(v.EvenOdd);
  p.friction = Switch(v.Friction);
  p.borders = Switch(v.Borders);
  p.bounce = Switch(v.Bounce);
  p.singleMass = Switch(v.SingleMass);
  p.randomMass = Switch(v.RandomMass);
  p.evenOddMass = Switch(v.EvenOddMass);
  p.gravity = static_cast<double>(v.GravityVal) * 0.1;
  p.mu = static_cast<double>(v.MuVal) * 0.0001;
  p.delay = static_cast<std::int32_t>(v.DelayTime);
  return p;
}

}  // namespace vz
