#include "signal_exit.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vz {

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
  const char byte = 1;
  // Only async-signal-safe work here; the event loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

extern "C" void ExitAtOnce(int) { _exit(0); }

extern "C" void Ignore(int) {}

constexpr int kExitSignals[] = {SIGTERM, SIGINT, SIGHUP};

void HandleExitSignals(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : kExitSignals) sigaction(sig, &action, nullptr);
}

sigset_t ExitSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kExitSignals) sigaddset(&set, sig);
  return set;
}

// The signals are only noted in the pipe from now on; false when they
// cannot be.
bool NoteExitSignals() {
  if (g_pipe[0] < 0) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    HandleExitSignals(OnSignal);
  }
  return true;
}

}  // namespace

void ExitAtOnceOnSignals() { HandleExitSignals(ExitAtOnce); }

void IgnoreBrokenPipes() {
  struct sigaction action = {};
  action.sa_handler = Ignore;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
}

int ExitSignalFd() { return g_pipe[0]; }

bool ExitSignalCame() {
  pollfd p = {g_pipe[0], POLLIN, 0};
  return g_pipe[0] >= 0 && ::poll(&p, 1, 0) > 0;
}

bool TakeExitSignal() {
  char buffer[16];
  bool came = false;
  for (;;) {
    const ssize_t n = g_pipe[0] >= 0 ? ::read(g_pipe[0], buffer, sizeof buffer) : 0;
    if (n > 0) {
      came = true;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return came;  // empty (EAGAIN) or no pipe
    }
  }
}

std::optional<sigset_t> BlockAndNoteExitSignals() {
  const sigset_t exitSignals = ExitSignalSet();
  sigset_t waitMask;
  pthread_sigmask(SIG_BLOCK, &exitSignals, &waitMask);
  if (!NoteExitSignals()) {
    pthread_sigmask(SIG_SETMASK, &waitMask, nullptr);
    return std::nullopt;
  }
  for (int sig : kExitSignals) sigdelset(&waitMask, sig);
  return waitMask;
}

void UnblockExitSignals() {
  const sigset_t exitSignals = ExitSignalSet();
  pthread_sigmask(SIG_UNBLOCK, &exitSignals, nullptr);
}

void ExitCleanlyOnSignals() {
  if (g_pipe[0] >= 0 || !NoteExitSignals()) return;
  auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [notifier] {
    // The pipe stays readable: whatever waits on it from now on (a save
    // waiting for another's lock) ends at once, as the program is ending.
    notifier->setEnabled(false);
    // exit(), not quit(): it also ends nested loops such as a modal dialog's.
    QCoreApplication::exit(0);
  });
}

}  // namespace vz
