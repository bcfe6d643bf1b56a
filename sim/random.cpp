#include "random.h"

#include <ctime>
#include <utility>

namespace vz {

namespace {
TimeSource& CurrentSource() {
  static TimeSource source;
  return source;
}
}  // namespace

Random& UiRandom() {
  static Random random;
  return random;
}

void SetTimeSource(TimeSource source) { CurrentSource() = std::move(source); }

std::int64_t CalendarSeconds() {
  const TimeSource& source = CurrentSource();
  if (source) return source();
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace vz
