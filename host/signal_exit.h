#pragma once

#include <csignal>

namespace vz {

// Until the event loop can take over, SIGTERM, SIGINT and SIGHUP end the
// program at once with code 0: nothing is on screen or half-saved yet.
// Call first thing in main; needs nothing.
void ExitAtOnceOnSignals();

// Hosts stop savers with SIGTERM, SIGINT or SIGHUP: turn each into a normal
// end of the event loop with exit code 0, so destructors run, grabs are
// released and no settings write is cut short. Needs a QCoreApplication.
void ExitCleanlyOnSignals();

// The same for a program that runs a loop of its own: the read end of a
// pipe that becomes readable once one of those signals has come; -1 when no
// pipe could be made.
int ExitSignalFd();
// SIGTERM, SIGINT and SIGHUP: a loop that blocks them while it works and
// lets them in only while it waits (ppoll) sees each one at once, without
// watching the pipe.
sigset_t ExitSignals();

}  // namespace vz
