#include "entry_table.h"

namespace vz {

const std::array<EntryInfo, 13> kEntries = {{
    {"Friction", &EntryValues::Friction, 1, 1},
    {"ShowAll", &EntryValues::ShowAll, 1, 1},
    {"Bounce", &EntryValues::Bounce, 0, 0},
    {"Borders", &EntryValues::Borders, 1, 1},
    {"EvenOdd", &EntryValues::EvenOdd, 1, 1},
    {"Planet", &EntryValues::Planet, 0, 0},
    {"GravityVal", &EntryValues::GravityVal, 30, 30},
    {"MuVal", &EntryValues::MuVal, 9965, 9965},
    {"RandomMass", &EntryValues::RandomMass, 0, 0},
    {"SingleMass", &EntryValues::SingleMass, 1, 1},
    {"EvenOddMass", &EntryValues::EvenOddMass, 0, 0},
    {"DelayTime", &EntryValues::DelayTime, 50, 1},
    {"NumParticles", &EntryValues::NumParticles, 50, 50},
}};

const std::array<std::string_view, 13> kWriteOrder = {
    "EvenOddMass", "RandomMass", "SingleMass", "MuVal",   "GravityVal",
    "Planet",      "ShowAll",    "Borders",    "Bounce",  "Friction",
    "EvenOdd",     "DelayTime",  "NumParticles",
};

const EntryInfo* FindEntry(std::string_view name) {
  for (const EntryInfo& e : kEntries) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

EntryValues ParticleDefaults() {
  EntryValues v;
  for (const EntryInfo& e : kEntries) v.*e.field = e.particleDefault;
  return v;
}

EntryValues DialogDefaults() {
  EntryValues v;
  for (const EntryInfo& e : kEntries) v.*e.field = e.dialogDefault;
  return v;
}

}  // namespace vz
