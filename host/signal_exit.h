#pragma once

#include <csignal>
#include <optional>

namespace vz {

// Until the event loop can take over, SIGTERM, SIGINT and SIGHUP end the
// program at once with code 0: nothing is on screen or half-saved yet.
// Call first thing in main; needs nothing.
void ExitAtOnceOnSignals();

// Hosts stop savers with SIGTERM, SIGINT or SIGHUP: turn each into a normal
// end of the event loop with exit code 0, so destructors run, grabs are
// released and no settings write is cut short. Needs a QCoreApplication.
void ExitCleanlyOnSignals();

// The same for a program that runs a loop of its own: the signals are
// blocked in the calling thread first (none can come between the two steps
// and be missed), then only noted, for TakeExitSignal. The result is the
// mask to wait with (ppoll), which lets them in: each one then ends the wait
// with EINTR, and only then. Empty when they cannot be noted (the program
// then still ends at once on them, and nothing is blocked).
std::optional<sigset_t> BlockAndNoteExitSignals();
// Whether one of them came since the last call; drains what they left.
bool TakeExitSignal();
// Lets them in again once the loop is over.
void UnblockExitSignals();

}  // namespace vz
