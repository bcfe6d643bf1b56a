#pragma once

#include <cstdint>

#include "particle_field.h"

namespace vz {

// The thirteen stored entries exactly as stored: 32 bits each. Their
// defaults stand in the settings' entry table (ParticleDefaults()).
struct EntryValues {
  std::uint32_t NumParticles = 0;
  std::uint32_t DelayTime = 0;
  std::uint32_t EvenOddMass = 0;
  std::uint32_t SingleMass = 0;
  std::uint32_t RandomMass = 0;
  std::uint32_t MuVal = 0;
  std::uint32_t GravityVal = 0;
  std::uint32_t Planet = 0;
  std::uint32_t EvenOdd = 0;
  std::uint32_t Borders = 0;
  std::uint32_t Bounce = 0;
  std::uint32_t ShowAll = 0;
  std::uint32_t Friction = 0;
};

// Stored values into `count` and the parameters: a switch is on exactly when
// its value is 1, gravity and friction factor take the value as unsigned,
// count and delay keep the same 32 bits as signed numbers.
std::int32_t CountFromEntries(const EntryValues& v);
SimParams ParamsFromEntries(const EntryValues& v);

// An on/off entry as the program takes it: on exactly when it holds 1.
std::int32_t OnOff(std::uint32_t stored);

}  // namespace vz
