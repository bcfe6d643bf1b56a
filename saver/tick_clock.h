#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <span>

namespace vz {

// When the ticks of a field fall due: every interval from a first tick, a
// late tick not made up for (the next one is a whole interval after it).
// The loops that run ticks sleep until Next() on an absolute deadline, so a
// tick's own cost does not stretch the interval.
class TickClock {
 public:
  using Clock = std::chrono::steady_clock;

  // Ticks every `interval`, the first one at `first`.
  void Start(Clock::duration interval, Clock::time_point first) {
    interval_ = interval;
    next_ = first;
  }
  Clock::time_point Next() const { return next_; }
  // True when a tick is due at `now`; the next one is then scheduled.
  bool Due(Clock::time_point now) {
    if (now < next_) return false;
    next_ = std::max(next_ + interval_, now);
    return true;
  }

 private:
  Clock::duration interval_{};
  Clock::time_point next_ = Clock::time_point::max();
};

// Waits for one of `fds` to become ready, at most until `deadline` (no
// sleep once it has passed), letting in the signals `mask` leaves
// unblocked. ppoll's result: the number of ready descriptors, 0 at the
// deadline, -1 with errno (EINTR after a signal).
int WaitUntil(std::span<pollfd> fds, TickClock::Clock::time_point deadline,
              const sigset_t* mask = nullptr);

}  // namespace vz
