#include "entry_table.h"

namespace vz {

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
