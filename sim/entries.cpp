#include "entries.h"

namespace vz {

std::int32_t OnOff(std::uint32_t stored) { return stored == 1 ? 1 : 0; }

std::int32_t CountFromEntries(const EntryValues& v) {
  return static_cast<std::int32_t>(v.NumParticles);
}

SimParams ParamsFromEntries(const EntryValues& v) {
  SimParams p;
  p.showAll = OnOff(v.ShowAll);
  p.planet = OnOff(v.Planet);
  p.evenOdd = OnOff(v.EvenOdd);
  p.friction = OnOff(v.Friction);
  p.borders = OnOff(v.Borders);
  p.bounce = OnOff(v.Bounce);
  p.singleMass = OnOff(v.SingleMass);
  p.randomMass = OnOff(v.RandomMass);
  p.evenOddMass = OnOff(v.EvenOddMass);
  p.gravity = static_cast<double>(v.GravityVal) * 0.1;
  p.mu = static_cast<double>(v.MuVal) * 0.0001;
  p.delay = static_cast<std::int32_t>(v.DelayTime);
  return p;
}

}  // namespace vz
