#pragma once

#include <QString>

namespace vz {

// Where the password modules live: $VIVEDAZIV_MODULE_DIR when set and not
// empty; else <executable dir>/../lib/vivedaziv when it exists (installed);
// else the executable's own directory (build tree).
QString ModuleDirectory();

}  // namespace vz
