#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "entries.h"

namespace vz {

struct EntryInfo {
  std::string_view name;
  std::uint32_t EntryValues::*field;
  std::uint32_t particleDefault;  // default of the particle window
  std::uint32_t dialogDefault;    // default of the configuration dialog
};

// In the order entries are read.
extern const std::array<EntryInfo, 13> kEntries;

// Entry names in the order the configuration run writes them back.
extern const std::array<std::string_view, 13> kWriteOrder;

// Looks an entry up by its stored name; null when there is none.
const EntryInfo* FindEntry(std::string_view name);

// Every entry at the chosen column's default.
EntryValues ParticleDefaults();
EntryValues DialogDefaults();

}  // namespace vz
