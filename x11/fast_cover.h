#pragma once

#include <memory>

struct xcb_connection_t;

namespace vz {

// Black windows over every X screen, mapped through a connection of their
// own before anything else starts: a saver started as the machine suspends
// must hide the desktop at once, long before the toolkit is up. They go with
// the object, once the saver's own windows cover the screens.
class FastCover {
 public:
  // Nothing when there is no display, or a saver already runs there.
  static std::unique_ptr<FastCover> Show();
  ~FastCover();
  FastCover(const FastCover&) = delete;
  FastCover& operator=(const FastCover&) = delete;

 private:
  explicit FastCover(xcb_connection_t* c) : c_(c) {}
  xcb_connection_t* c_;
};

}  // namespace vz
