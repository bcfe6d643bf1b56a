#include "tick_clock.h"

#include <algorithm>
#include <climits>

namespace vz {

int WaitUntil(std::span<pollfd> fds, TickClock::Clock::time_point deadline,
              const sigset_t* mask) {
  using namespace std::chrono;
  const auto left = std::max(deadline - TickClock::Clock::now(), TickClock::Clock::duration::zero());
  // Far deadlines (no tick scheduled) wait as long as ppoll can.
  const auto s = duration_cast<seconds>(left);
  const timespec timeout = {
      static_cast<time_t>(std::min<seconds::rep>(s.count(), INT_MAX)),
      static_cast<long>(duration_cast<nanoseconds>(left - s).count())};
  return ppoll(fds.data(), fds.size(), &timeout, mask);
}

}  // namespace vz
