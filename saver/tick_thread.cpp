#include "tick_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace vz {

bool TickThread::Start(std::chrono::milliseconds interval, TickClock::Clock::time_point first) {
  {
    auto hold = Hold();
    ticks_.Start(interval, first);
    stop_ = false;
  }
  if (thread_.joinable()) {
    Wake();
    return true;
  }
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return false;
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void TickThread::Stop() {
  if (!thread_.joinable()) return;
  {
    auto hold = Hold();
    stop_ = true;
  }
  Wake();
  thread_.join();
  ticks_.Abandon();
  close(wake_);
  wake_ = -1;
}

std::unique_lock<std::mutex> TickThread::Hold() {
  ++waiting_;
  std::unique_lock<std::mutex> lock(mutex_);
  --waiting_;
  return lock;
}

void TickThread::Wake() {
  const std::uint64_t one = 1;
  // A full counter already wakes the thread.
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TickThread::Loop() {
  auto deadline = TickClock::Clock::now();
  for (;;) {
    pollfd fd = {wake_, POLLIN, 0};
    if (WaitUntil({&fd, 1}, deadline) > 0) {
      std::uint64_t count;
      (void)!read(wake_, &count, sizeof count);
    }
    // Whoever waits for the field goes first: the lock is not fair.
    while (waiting_.load() > 0) std::this_thread::yield();
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    switch (ticks_.Due(TickClock::Clock::now())) {
      case FieldTicks::Work::kTick:
        ticks_.Tick(field_, surface_);
        break;
      case FieldTicks::Work::kSlice:
        ticks_.Slice(field_, surface_);
        break;
      case FieldTicks::Work::kNone:
        break;
    }
    // A slice due runs as soon as the owner has had its turn.
    deadline = ticks_.WakeAt();
  }
}

}  // namespace vz
