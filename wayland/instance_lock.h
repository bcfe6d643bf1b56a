#pragma once

#include <memory>

namespace vz {

// Held while a saver runs on one Wayland display, so that a second start
// there does nothing: an exclusive flock on a file in XDG_RUNTIME_DIR (the
// user's own, mode 0700) named after the display's socket. The kernel lets
// it go when the process ends, however it ends.
class InstanceLock {
 public:
  enum class Result { Held, HeldElsewhere, CannotTell };
  // Takes the lock for the display WAYLAND_DISPLAY names. When the lock
  // file cannot be made (no runtime folder), `lock` stays empty and the
  // result is CannotTell: better a saver than none.
  static Result Take(std::unique_ptr<InstanceLock>& lock);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace vz
