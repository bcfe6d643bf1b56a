#pragma once

namespace vz {

// Hosts stop savers with SIGTERM, SIGINT or SIGHUP: turn each into a normal
// end of the event loop with exit code 0, so destructors run, grabs are
// released and no settings write is cut short. Needs a QCoreApplication.
void ExitCleanlyOnSignals();

}  // namespace vz
