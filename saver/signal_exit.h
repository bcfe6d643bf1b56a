#pragma once

#include <csignal>
#include <optional>

namespace vz {

// A write to a pipe whose reader has gone (a host that closed our stderr)
// fails with EPIPE instead of ending the program by SIGPIPE. A handler that
// does nothing rather than SIG_IGN: programs we start get the default back.
void IgnoreBrokenPipes();

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
// The pipe they are noted in, readable once one came (and, with the event
// loop's handling, from then on); -1 before they are noted.
int ExitSignalFd();
// Whether one came, for a program whose event loop takes them (the pipe
// then stays readable); nothing is taken from the pipe.
bool ExitSignalCame();
// Lets them in again once the loop is over.
void UnblockExitSignals();

}  // namespace vz
