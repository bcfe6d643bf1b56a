#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace vz {

namespace {

// The lock file for a display socket name or path.
std::string PathFor(const std::string& runtimeDir, const std::string& display) {
  // A relative name lies in the runtime folder, as libwayland reads it: the
  // key is the socket's whole path, however the display was named.
  std::string key = display.starts_with('/') ? display : runtimeDir + "/" + display;
  for (char& c : key) {
    if (c == '/') c = '!';
  }
  return runtimeDir + "/vivedaziv-saver" + key + ".lock";
}

}  // namespace

InstanceLock::Result InstanceLock::Take(std::unique_ptr<InstanceLock>& lock) {
  lock.reset();
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (!runtime || !*runtime || !display || !*display) return Result::CannotTell;
  const std::string path = PathFor(runtime, display);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::CannotTell;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    close(fd);
    return busy ? Result::HeldElsewhere : Result::CannotTell;
  }
  lock.reset(new InstanceLock(fd));
  return Result::Held;
}

InstanceLock::~InstanceLock() { close(fd_); }

}  // namespace vz
