#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "entries.h"

namespace vz {

// How the program takes an entry: a switch is on exactly when it holds 1,
// a number is used as it is.
enum class EntryKind { Switch, Number };

// What the configuration dialog offers for an entry: the slider's range and
// tick interval, or the range the delay box accepts (tick 0: no slider).
// Stored values outside it are kept; the dialog only shows them clamped.
struct DialogRange {
  std::int32_t min = 0;
  std::int32_t max = 1;
  std::int32_t tick = 0;
};

struct EntryInfo {
  std::string_view name;
  std::uint32_t EntryValues::*field;
  std::uint32_t particleDefault;  // default of the particle window
  std::uint32_t dialogDefault;    // default of the configuration dialog
  EntryKind kind;
  DialogRange dialog;
};

// Every entry's defaults and dialog range, in the order entries are read.
inline constexpr std::array<EntryInfo, 13> kEntries = {{
    {"Friction", &EntryValues::Friction, 1, 1, EntryKind::Switch, {}},
    {"ShowAll", &EntryValues::ShowAll, 1, 1, EntryKind::Switch, {}},
    {"Bounce", &EntryValues::Bounce, 0, 0, EntryKind::Switch, {}},
    {"Borders", &EntryValues::Borders, 1, 1, EntryKind::Switch, {}},
    {"EvenOdd", &EntryValues::EvenOdd, 1, 1, EntryKind::Switch, {}},
    {"Planet", &EntryValues::Planet, 0, 0, EntryKind::Switch, {}},
    {"GravityVal", &EntryValues::GravityVal, 30, 30, EntryKind::Number, {1, 40, 4}},
    {"MuVal", &EntryValues::MuVal, 9965, 9965, EntryKind::Number, {9500, 10000, 50}},
    {"RandomMass", &EntryValues::RandomMass, 0, 0, EntryKind::Switch, {}},
    {"SingleMass", &EntryValues::SingleMass, 1, 1, EntryKind::Switch, {}},
    {"EvenOddMass", &EntryValues::EvenOddMass, 0, 0, EntryKind::Switch, {}},
    {"DelayTime", &EntryValues::DelayTime, 50, 1, EntryKind::Number, {0, 100, 0}},
    {"NumParticles", &EntryValues::NumParticles, 50, 50, EntryKind::Number, {2, 100, 10}},
}};

// Entry names in the order the configuration run writes them back.
extern const std::array<std::string_view, 13> kWriteOrder;

// Looks an entry up by its stored name; null when there is none.
const EntryInfo* FindEntry(std::string_view name);

// The row of the entry stored in `field`.
constexpr const EntryInfo& EntryOf(std::uint32_t EntryValues::*field) {
  for (const EntryInfo& e : kEntries) {
    if (e.field == field) return e;
  }
  throw "not an entry";  // never reached for a member of EntryValues
}

// Every entry at the chosen column's default.
EntryValues ParticleDefaults();
EntryValues DialogDefaults();

}  // namespace vz
