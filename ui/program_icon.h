#pragma once

#include <QIcon>

namespace vz {

// The program icon (resource 128): coloured particles on black, drawn in the
// 16-colour palette at 32 × 32 and 16 × 16 pixels.
QIcon ProgramIcon();

}  // namespace vz
