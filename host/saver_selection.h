#pragma once

namespace vz {

// The X selection a running saver owns, so that a second one on the same
// display does nothing.
inline constexpr char kSaverSelection[] = "_VIVEDAZIV_SAVER";

}  // namespace vz
